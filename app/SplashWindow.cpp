#include "app/SplashWindow.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "settings/TitleBar.h"

namespace kolvane {

CSplashWnd::CSplashWnd(QWidget* owner, int milliseconds)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    resize(480, 270);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - rect().center());
    }
    QTimer::singleShot(milliseconds, this, [this] {
        emit Finished();
        close();
    });
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0.0, QColor(40, 48, 56));
    sky.setColorAt(1.0, QColor(12, 14, 16));
    painter.fillRect(rect(), sky);

    // A strip of film frames, the station's mark.
    const int frameWidth = width() / 7;
    const int top = height() / 5;
    for (int i = 0; i < 6; ++i) {
        const QRect frame(frameWidth / 2 + i * frameWidth + 4, top, frameWidth - 8,
                          frameWidth * 3 / 4);
        painter.setPen(QColor(100, 120, 130));
        painter.setBrush(QColor(100, 120, 130, 40 + i * 30));
        painter.drawRect(frame);
    }
    painter.setPen(QColor(230, 230, 220));
    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 2.4);
    title.setBold(true);
    painter.setFont(title);
    painter.drawText(QRect(0, height() / 2, width(), height() / 4), Qt::AlignCenter,
                     QString::fromLatin1(CTitleBar::kProduct));
    QFont small = font();
    painter.setFont(small);
    painter.setPen(QColor(160, 170, 170));
    painter.drawText(QRect(0, height() * 3 / 4, width(), height() / 5), Qt::AlignCenter,
                     QStringLiteral("stop-motion animation station"));
}

}  // namespace kolvane
