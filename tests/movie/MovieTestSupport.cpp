#include "tests/movie/MovieTestSupport.h"

#include <gst/app/gstappsink.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QUrl>

#include "model/MediaInfo.h"
#include "model/Node.h"
#include "model/NodeList.h"
#include "platform/GstPtr.h"
#include "tests/support/TestEnvironment.h"

namespace kolvane::test {

bool CImageRenderer::BeginOffscreen(const QRect& rect) {
    if (!target.isNull()) return false;
    target = QImage(rect.size(), QImage::Format_RGB32);
    target.fill(Qt::magenta);
    ++drawCount;
    return true;
}

void CImageRenderer::Clear(std::optional<QRect> rect, QRgb colour) {
    ++drawCount;
    QPainter painter(&target);
    painter.fillRect(rect.value_or(target.rect()), QColor(colour));
}

void CImageRenderer::DrawImage(const QRect& rect, const CNode& item, bool layered, int) {
    ++drawCount;
    ++draws;
    if (item.imageInfo != nullptr &&
        item.texture.size() == QSize(item.imageInfo->imageWidth, item.imageInfo->imageHeight)) {
        ++directDraws;
    }
    QPainter painter(&target);
    if (layered) painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    painter.drawImage(rect, item.texture);
}

void CImageRenderer::DrawText(const QRect& rect, QRgb colour, const QString& text) {
    ++drawCount;
    texts.emplace_back(rect, text);
    QPainter painter(&target);
    painter.setPen(QColor(colour));
    painter.drawText(rect, Qt::AlignCenter, text);
}

std::shared_future<DecodedImage> CImageRenderer::DecodeImage(const CNode& item) {
    // Every third decode is the quickest, so that they finish out of order.
    const int delay = decodeDelayMs * (loads % 3);
    ++loads;
    const QString path = item.imageInfo->path;
    return std::async(std::launch::async,
                      [path, delay] {
                          if (delay > 0)
                              std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                          DecodedImage decoded;
                          QImage image(path);
                          if (image.isNull()) return decoded;
                          decoded.imageSize = image.size();
                          decoded.texture =
                              image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
                          decoded.result = kOk;
                          return decoded;
                      })
        .share();
}

std::shared_future<bool> CImageRenderer::DecodeI420(const CNode& item, const I420Planes& planes) {
    ++directDecodes;
    const bool allowed = direct;
    return std::async(std::launch::async,
                      [allowed, path = item.imageInfo->path, size = target.size(), planes] {
                          QFile file(path);
                          return allowed && file.open(QIODevice::ReadOnly) &&
                                 DecodeJpegI420(file.readAll(), size, planes);
                      })
        .share();
}

Result CImageRenderer::ReadFrame(std::span<std::uint8_t> buffer, bool bits24) {
    const QImage rgb = bits24 ? target.convertToFormat(QImage::Format_BGR888)
                              : target.convertToFormat(QImage::Format_RGB32);
    const std::size_t row = static_cast<std::size_t>(rgb.width()) * (bits24 ? 3 : 4);
    if (buffer.size() < row * static_cast<std::size_t>(rgb.height())) return kFail;
    for (int y = 0; y < rgb.height(); ++y) {
        std::memcpy(buffer.data() + row * static_cast<std::size_t>(rgb.height() - 1 - y),
                    rgb.constScanLine(y), row);
    }
    return kOk;
}

void CImageRenderer::EndOffscreen() {
    ++drawCount;
    target = QImage();
    ++ends;
}

Result CConstantSound::WriteFrame(CNode& /*column*/, const CNode& cell,
                                  std::span<std::int16_t> samples) {
    if (std::find(broken.begin(), broken.end(), cell.item) != broken.end()) return kFail;
    const auto level = levels.find(cell.item);
    std::fill(samples.begin(), samples.end(), level != levels.end() ? level->second : 0);
    return kOk;
}

void CScriptedProgress::Open(int titleId, int buttonSet) {
    title = titleId;
    buttons = buttonSet;
    open = true;
}

int CScriptedProgress::Step(int position) {
    steps.push_back(position);
    if (onStep) onStep();
    return position == atStep ? answer : kGoOn;
}

CTestScene::CTestScene() : folder(MakeTempDir(QStringLiteral("scene"))) {}

CNode* CTestScene::Image(const QString& name, QRgb colour, QSize size) {
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(path));
    return media.AddMediaFile(kTypeImage, path);
}

CNode* CTestScene::Sound(const QString& name) {
    return media.AddMediaFile(kTypeSound, folder + QLatin1Char('/') + name + ".wav");
}

CNode* CTestScene::Column(const std::vector<CNode*>& items) {
    CNode* column = sheet.GetColumn(sheet.Levels().size(), QString());
    for (CNode* item : items)
        column->children->append(CNode::NewCell(item));
    return column;
}

void CTestScene::Finish() {
    sheet.RecomputeSummaries();
    sheet.Normalise();
}

namespace {

QString CapsName(GstCaps* caps) {
    if (caps == nullptr || gst_caps_is_empty(caps)) return {};
    return QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
}

// The caps name of the first stream of a list, which it frees.
QString FirstStreamCaps(GList* streams) {
    QString name;
    if (streams != nullptr) {
        GstCaps* caps =
            gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(streams->data));
        name = CapsName(caps);
        if (caps != nullptr) gst_caps_unref(caps);
    }
    gst_discoverer_stream_info_list_free(streams);
    return name;
}

void Discover(const QString& path, DecodedMovie& movie) {
    GError* error = nullptr;
    GstObjectPtr<GstDiscoverer> discoverer(gst_discoverer_new(10 * GST_SECOND, &error));
    g_clear_error(&error);
    ASSERT_NE(discoverer, nullptr);
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GstDiscovererInfo* info =
        gst_discoverer_discover_uri(discoverer.get(), uri.constData(), &error);
    g_clear_error(&error);
    ASSERT_NE(info, nullptr);
    movie.duration = gst_discoverer_info_get_duration(info);
    GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
    if (top != nullptr) {
        GstCaps* caps = gst_discoverer_stream_info_get_caps(top);
        if (GST_IS_DISCOVERER_CONTAINER_INFO(top)) movie.container = CapsName(caps);
        if (caps != nullptr) gst_caps_unref(caps);
        gst_discoverer_stream_info_unref(top);
    }
    movie.videoCaps = FirstStreamCaps(gst_discoverer_info_get_video_streams(info));
    movie.audioCaps = FirstStreamCaps(gst_discoverer_info_get_audio_streams(info));
    gst_discoverer_info_unref(info);
}

void Decode(const QString& path, DecodedMovie& movie) {
    const QByteArray description =
        "filesrc location=\"" + QFile::encodeName(path) +
        "\" ! decodebin name=d "
        "d. ! queue ! videoconvert ! video/x-raw,format=BGRx ! appsink name=v sync=false "
        "d. ! queue ! audioconvert ! audioresample ! "
        "audio/x-raw,format=S16LE,rate=48000,channels=2,layout=interleaved ! "
        "appsink name=a sync=false";
    GError* error = nullptr;
    GstElementPtr pipeline(gst_parse_launch(description.constData(), &error));
    ASSERT_EQ(error, nullptr) << error->message;
    GstElementPtr video(gst_bin_get_by_name(GST_BIN(pipeline.get()), "v"));
    GstElementPtr audio(gst_bin_get_by_name(GST_BIN(pipeline.get()), "a"));
    ASSERT_NE(gst_element_set_state(pipeline.get(), GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    while (GstSample* sample =
               gst_app_sink_try_pull_sample(GST_APP_SINK(video.get()), 10 * GST_SECOND)) {
        GstSamplePtr owned(sample);
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
            QImage image(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                         GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                         GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32);
            movie.frames.push_back(image.copy());
            gst_video_frame_unmap(&frame);
        }
    }
    while (GstSample* sample =
               gst_app_sink_try_pull_sample(GST_APP_SINK(audio.get()), 10 * GST_SECOND)) {
        GstSamplePtr owned(sample);
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const std::size_t count = gst_buffer_get_size(buffer) / 2;
        const std::size_t at = movie.sound.size();
        movie.sound.resize(at + count);
        gst_buffer_extract(buffer, 0, movie.sound.data() + at, count * 2);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
}

}  // namespace

DecodedMovie DecodeMovie(const QString& path) {
    DecodedMovie movie;
    Discover(path, movie);
    Decode(path, movie);
    return movie;
}

QRgb AverageColour(const QImage& frame, const QRect& area) {
    long long r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            r += qRed(pixel);
            g += qGreen(pixel);
            b += qBlue(pixel);
            ++n;
        }
    }
    if (n == 0) return 0;
    return qRgb(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

}  // namespace kolvane::test
