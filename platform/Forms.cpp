#include "platform/Forms.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace platform {

QColor ToQColor(TColor color) {
    const auto value = static_cast<unsigned int>(color);
    if ((value & 0xFF000000u) == 0x80000000u) {
        const QPalette palette = QApplication::palette();
        switch (value & 0xFF) {
        case 0x05:
            return palette.color(QPalette::Base);
        case 0x08:
            return palette.color(QPalette::WindowText);
        default:
            return palette.color(QPalette::Button);
        }
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

Qt::CursorShape ToQtCursor(TCursor cursor) {
    switch (cursor) {
    case crNone:
        return Qt::BlankCursor;
    case crCross:
        return Qt::CrossCursor;
    case crIBeam:
        return Qt::IBeamCursor;
    case crSizeNESW:
        return Qt::SizeBDiagCursor;
    case crSizeNS:
        return Qt::SizeVerCursor;
    case crSizeNWSE:
        return Qt::SizeFDiagCursor;
    case crSizeWE:
        return Qt::SizeHorCursor;
    case crUpArrow:
        return Qt::UpArrowCursor;
    case crHourGlass:
    case crSQLWait:
        return Qt::WaitCursor;
    case crDrag:
    case crMultiDrag:
        return Qt::DragCopyCursor;
    case crNoDrop:
    case crNo:
        return Qt::ForbiddenCursor;
    case crHSplit:
        return Qt::SplitHCursor;
    case crVSplit:
        return Qt::SplitVCursor;
    case crAppStart:
        return Qt::BusyCursor;
    case crHelp:
        return Qt::WhatsThisCursor;
    case crHandPoint:
        return Qt::PointingHandCursor;
    case crSizeAll:
        return Qt::SizeAllCursor;
    default:
        return Qt::ArrowCursor;
    }
}

void ApplyPosition(QWidget* form, TPosition position) {
    if (!form)
        return;
    QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area;
    switch (position) {
    case poScreenCenter:
        area = screen->geometry();
        break;
    case poDesktopCenter:
        area = screen->virtualGeometry();
        break;
    case poMainFormCenter:
    case poOwnerFormCenter:
        area = form->parentWidget() ? form->parentWidget()->window()->frameGeometry()
                                    : screen->geometry();
        break;
    default:
        return;
    }
    QRect frame = form->frameGeometry();
    frame.moveCenter(area.center());
    form->move(frame.topLeft());
}

QFont SansSerif(int pixelHeight) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    return font;
}

void ApplyFormDefaults(QWidget* form) {
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    pal.setColor(QPalette::WindowText, ToQColor(clWindowText));
    form->setPalette(pal);
    form->setAutoFillBackground(true);
    form->setFont(SansSerif(13));
}

} // namespace platform
