#include "capture/JpegOrientation.h"

#include <turbojpeg.h>

#include <cerrno>

#include <QFile>

#include "storage/SafeFile.h"

namespace kolvane {
namespace {

// Larger than any camera's still by far; a bigger file is not read whole.
constexpr qint64 kMaxJpegBytes = qint64{512} << 20;

class CTransformer {
  public:
    CTransformer() : handle_(tjInitTransform()) {}
    ~CTransformer() {
        if (handle_ != nullptr) tjDestroy(handle_);
    }
    CTransformer(const CTransformer&) = delete;
    CTransformer& operator=(const CTransformer&) = delete;
    tjhandle Get() const { return handle_; }

  private:
    tjhandle handle_;
};

int OperationOf(int orientation) {
    switch (orientation) {
        case 1:
            return TJXOP_HFLIP;
        case 2:
            return TJXOP_VFLIP;
        case 3:
            return TJXOP_ROT180;
        default:
            return TJXOP_NONE;
    }
}

bool Transform(tjhandle handle, const QByteArray& jpeg, int operation, int options,
               QByteArray& out) {
    tjtransform transform{};
    transform.op = operation;
    transform.options = options;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int failed =
        tjTransform(handle, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                    static_cast<unsigned long>(jpeg.size()), 1, &buffer, &size, &transform, 0);
    if (failed == 0 && buffer != nullptr && size > 0) {
        out = QByteArray(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    }
    if (buffer != nullptr) tjFree(buffer);
    return failed == 0 && !out.isEmpty();
}

}  // namespace

Result TransformJpeg(const QByteArray& jpeg, int orientation, QByteArray& out) {
    out.clear();
    const int operation = OperationOf(orientation);
    if (operation == TJXOP_NONE) {
        out = jpeg;
        return kOk;
    }
    CTransformer transformer;
    if (transformer.Get() == nullptr || jpeg.isEmpty()) return kFail;
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(transformer.Get(), reinterpret_cast<const unsigned char*>(jpeg.data()),
                            static_cast<unsigned long>(jpeg.size()), &width, &height, &subsampling,
                            &colourspace) != 0) {
        return kFail;
    }
    // A whole number of blocks turns exactly; otherwise the partial edge
    // blocks are trimmed rather than left unturned at the wrong side.
    if (Transform(transformer.Get(), jpeg, operation, TJXOPT_PERFECT, out)) return kOk;
    return Transform(transformer.Get(), jpeg, operation, TJXOPT_TRIM, out) ? kOk : kFail;
}

Result OrientJpegFile(const QString& path, int orientation) {
    if (OperationOf(orientation) == TJXOP_NONE) return kOk;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return ENOENT;
    if (file.size() > kMaxJpegBytes) return EFBIG;
    const QByteArray jpeg = file.readAll();
    file.close();
    QByteArray turned;
    if (TransformJpeg(jpeg, orientation, turned) != kOk) return kFail;
    return WriteFileAtomically(path, turned);
}

}  // namespace kolvane
