#pragma once
// Fixtures shared by the wait-message tests: bitmaps written by the test,
// and activation of a window on the offscreen platform.

#include "platform/Win1250.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <string>

// A Windows bitmap of the given size, filled with one colour, its
// bottom-left pixel (the transparent colour of a transparent picture)
// painted with another.
inline void WriteBitmap(const std::string& path, int width, int height, QColor fill,
                        QColor bottomLeft) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    image.setPixelColor(0, height - 1, bottomLeft);
    if (!image.save(platform::ToQString(path), "BMP"))
        qFatal("cannot write the bitmap fixture %s", path.c_str());
}

// Lets the events that are pending now run, including the window-system
// events the offscreen platform queues for activations.
inline void Settle() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// Asks for a window to become active and waits until the application has
// seen it become active (whatever happens next); false if it never did.
inline bool ActivateAndSettle(QWidget& window) {
    QSignalSpy spy(qApp, &QGuiApplication::focusWindowChanged);
    window.activateWindow();
    QWindow* handle = window.windowHandle();
    const bool seen = QTest::qWaitFor([&] {
        for (const QList<QVariant>& call : spy)
            if (call.value(0).value<QWindow*>() == handle)
                return true;
        return false;
    });
    Settle();
    return seen;
}
