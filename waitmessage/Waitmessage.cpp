#include "waitmessage/Waitmessage.h"

#include "platform/Application.h"
#include "platform/ComponentRegistry.h"
#include "platform/Exception.h"
#include "platform/FileServices.h"
#include "platform/Screen.h"
#include "platform/Win1250.h"

#include <QBitmap>
#include <QBuffer>
#include <QCursor>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <exception>

namespace {

constexpr int kFormWidth = 400;
constexpr int kFormHeight = 50;
constexpr platform::TColor kPanelColor = 12442557; // 0xBDDBBD, pale green
constexpr const char* kInitialMessage = "Czekaj cierpliwie ...";

// The name of the executable that hosts components in the visual form
// designer; there the window must not steal the activation.
constexpr const char* kDesignerHost = "bcb.exe";

} // namespace

TWaitMessage::TWaitMessage(QObject* owner) : QObject(owner) {
    try {
        // The wait window: a top-level window with no frame and no title bar,
        // kept above the windows of all applications. It has no parent
        // widget, so it keeps the application's default font.
        FForm = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                       Qt::WindowStaysOnTopHint);
        FForm->resize(kFormWidth, kFormHeight);
        FPosition = platform::poScreenCenter;
        FForm->setWindowTitle(QString());
        setCursor(platform::crHourGlass);
        auto* formLayout = new QHBoxLayout(FForm.get());
        formLayout->setContentsMargins(0, 0, 0, 0);
        formLayout->setSpacing(0);
        // The window keeps its own size whatever the message or picture needs;
        // what does not fit is clipped.
        formLayout->setSizeConstraint(QLayout::SetNoConstraint);

        // The panel fills the window. Its raised one-pixel edge is the frame's
        // width, which QFrame keeps as its contents margins, so the panel's
        // layout lays the image and the label out inside the edge.
        FPanel = new QFrame(FForm.get());
        FPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        FPanel->setLineWidth(1);
        FPanel->setAutoFillBackground(true);
        FPanel->setCursor(platform::ToQtCursor(platform::crHourGlass));
        setColor(kPanelColor);
        formLayout->addWidget(FPanel);
        auto* panelLayout = new QHBoxLayout(FPanel);
        panelLayout->setContentsMargins(0, 0, 0, 0);
        panelLayout->setSpacing(0);

        // The label takes whatever the image leaves; its size follows the
        // layout, never its text.
        FLabel = new QLabel(FPanel);
        FLabel->setObjectName(QStringLiteral("Tytul"));
        FLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        FLabel->setAlignment(Qt::AlignCenter);
        // Messages are shown as given, never interpreted as markup.
        FLabel->setTextFormat(Qt::PlainText);
        QFont bold = FForm->font();
        bold.setBold(true);
        FLabel->setFont(bold);
        FLabel->setText(platform::ToQString(kInitialMessage));
        panelLayout->addWidget(FLabel);

        // The image is a strip at the panel's left whose width is held as the
        // control's fixed width; the picture is centred in it.
        FImage = new QLabel(FPanel);
        FImage->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
        FImage->setAlignment(Qt::AlignCenter);
        setImageTransparent(true);
        setImageAutoSize(true);
        panelLayout->insertWidget(0, FImage);
    } catch (const std::exception& e) {
        platform::MessageBox(e.what(), "Error", platform::MB_OK | platform::MB_ICONSTOP);
    } catch (...) {
        platform::MessageBox(std::string(), "Error", platform::MB_OK | platform::MB_ICONSTOP);
    }
}

TWaitMessage::~TWaitMessage() {
    // A handler left in the screen's slot would call into a destroyed object
    // on the next change of the active form. Only our own handler is removed:
    // a handler someone else has installed since is not ours to drop.
    if (!FHandlerToken.expired())
        platform::Screen().setOnActiveFormChange({});
    // The window owns the panel, which owns the label and the image.
    FImage = nullptr;
    FLabel = nullptr;
    FPanel = nullptr;
    FForm.reset();
}

platform::TPosition TWaitMessage::getPosition() const {
    return FPosition;
}

void TWaitMessage::setPosition(platform::TPosition value) {
    if (FForm)
        FPosition = value;
}

platform::TColor TWaitMessage::getColor() const {
    return FColor;
}

void TWaitMessage::setColor(platform::TColor value) {
    if (!FPanel)
        return;
    FColor = value;
    QPalette palette = FPanel->palette();
    palette.setColor(QPalette::Window, platform::ToQColor(value));
    FPanel->setPalette(palette);
}

bool TWaitMessage::getVisible() const {
    return FForm && FForm->isVisible();
}

void TWaitMessage::setVisible(bool value) {
    // Hiding ends any hand-back of the activation, whoever installed it.
    if (!value)
        platform::Screen().setOnActiveFormChange({});
    if (!FForm)
        return;
    if (value) {
        if (!FForm->isVisible())
            platform::ApplyPosition(FForm.get(), FPosition);
        FForm->show();
    } else {
        FForm->hide();
    }
    // Bringing a hidden window to the front has no effect anywhere.
    if (value)
        FForm->raise();
}

bool TWaitMessage::getVisibleActive() const {
    return getVisible() && platform::Screen().hasOnActiveFormChange();
}

void TWaitMessage::setVisibleActive(bool value) {
    if (value) {
        // The handler holds the token and a guarded pointer: the token tells
        // the destructor whether the slot still holds this handler, and the
        // guard keeps the handler harmless should it outlive the component.
        auto token = std::make_shared<char>();
        FHandlerToken = token;
        QPointer<TWaitMessage> self(this);
        platform::Screen().setOnActiveFormChange([self, token](QObject* sender) {
            platform::Guard([&] {
                if (self)
                    self->FormaZawszeAktywna(sender);
            });
        });
    }
    setVisible(value);
    if (!value)
        platform::Screen().setOnActiveFormChange({});
}

std::string TWaitMessage::getCaption() const {
    return FForm ? platform::FromQString(FForm->windowTitle()) : std::string();
}

void TWaitMessage::setCaption(const std::string& value) {
    if (FForm)
        FForm->setWindowTitle(platform::ToQString(value));
}

std::string TWaitMessage::getMessage() const {
    return FLabel ? platform::FromQString(FLabel->text()) : std::string();
}

void TWaitMessage::setMessage(const std::string& value) {
    if (FLabel)
        FLabel->setText(platform::ToQString(value));
}

void TWaitMessage::setImageFile(const std::string& value) {
    if (!FForm)
        return;
    FImageFile = value;
    if (!FImage)
        return;
    setImageAutoSize(true);
    // Strictly a Windows bitmap: another image format under any file name is
    // a loading error, as a missing file is. On failure the old picture stays
    // and automatic sizing is left on.
    // Read through the file services, which name the file as the system does.
    QByteArray bytes = QByteArray::fromStdString(platform::ReadWholeFile(value));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    QImageReader reader(&file, "bmp");
    reader.setAutoDetectImageFormat(false);
    QImage picture = reader.read();
    if (picture.isNull())
        throw platform::Exception("Bitmap image is not valid: " + value + ": " +
                                  platform::FromQString(reader.errorString()));
    FPicture = std::move(picture);
    showPicture();
    setImageAutoSize(false);
    // Half as wide again, truncated: a quarter of the picture's width of
    // margin on each side of the centred picture.
    FImage->setFixedWidth(FImage->minimumWidth() * 3 / 2);
    setImageTransparent(true);
}

platform::TCursor TWaitMessage::getCursor() const {
    return FCursor;
}

void TWaitMessage::setCursor(platform::TCursor value) {
    if (!FForm)
        return;
    FCursor = value;
    FForm->setCursor(platform::ToQtCursor(value));
}

void TWaitMessage::FormaZawszeAktywna(QObject* /*sender*/) {
    if (!FForm)
        return;
    if (platform::Screen().ActiveForm() == FForm.get())
        return;
    if (!FForm->isVisible())
        return;
    if (platform::ExeName().find(kDesignerHost) != std::string::npos)
        return;
    platform::SetActiveWindow(FForm.get());
}

void TWaitMessage::Register() {
    platform::RegisterComponentClass({"Zirkonal", "TWaitMessage", [](QObject* owner) -> QObject* {
                                          return new TWaitMessage(owner);
                                      }});
}

void TWaitMessage::setImageAutoSize(bool value) {
    FImageAutoSize = value;
    if (FImageAutoSize && FImage)
        FImage->setFixedWidth(FPicture.width());
}

void TWaitMessage::setImageTransparent(bool value) {
    FImageTransparent = value;
    showPicture();
}

// Shows FPicture in FImage. A transparent bitmap does not draw the pixels of
// its bottom-left pixel's colour, so the panel shows through them.
void TWaitMessage::showPicture() {
    if (!FImage)
        return;
    QPixmap pixmap = QPixmap::fromImage(FPicture);
    if (FImageTransparent && !FPicture.isNull()) {
        const QRgb key = FPicture.pixel(0, FPicture.height() - 1);
        pixmap.setMask(QBitmap::fromImage(FPicture.createMaskFromColor(key, Qt::MaskInColor)));
    }
    FImage->setPixmap(pixmap);
    if (FImageAutoSize)
        FImage->setFixedWidth(FPicture.width());
}
