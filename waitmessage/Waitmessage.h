#pragma once
// TWaitMessage: a non-visual component that owns a small borderless window,
// kept above all other windows, showing one bold line of text with the
// hour-glass cursor over it while a long step runs. On request
// (VisibleActive) it also keeps its window the application's active window
// for as long as it is shown.

#include "platform/Forms.h"

#include <QImage>
#include <QObject>

#include <memory>
#include <string>

class QFrame;
class QLabel;
class QWidget;

class TWaitMessage : public QObject {
    Q_OBJECT
public:
    // The owner is the Qt parent and destroys the component with itself.
    // Errors while building the window are shown in an error box and not
    // passed on; the component is then usable as far as it was built.
    explicit TWaitMessage(QObject* owner = nullptr);
    ~TWaitMessage() override;

    TWaitMessage(const TWaitMessage&) = delete;
    TWaitMessage& operator=(const TWaitMessage&) = delete;

    // Published properties, in the order a stored form description applies
    // them. Texts are Windows-1250.
    platform::TPosition getPosition() const;
    void setPosition(platform::TPosition value); // takes effect when next shown

    platform::TColor getColor() const;
    void setColor(platform::TColor value);

    bool getVisible() const;
    void setVisible(bool value);

    bool getVisibleActive() const;
    void setVisibleActive(bool value);

    std::string getCaption() const;
    void setCaption(const std::string& value);

    std::string getMessage() const;
    void setMessage(const std::string& value);

    std::string getImageFile() const { return FImageFile; }
    // Loads a Windows bitmap into the picture at the left; raises
    // platform::Exception when the file is missing or is no bitmap.
    void setImageFile(const std::string& value);

    platform::TCursor getCursor() const;
    void setCursor(platform::TCursor value);

    // The active-form-change handler that VisibleActive installs: hands the
    // activation back to the shown wait window.
    void FormaZawszeAktywna(QObject* sender);

    // Puts the class on the component page "Zirkonal".
    static void Register();

    // The window and its parts, owned by the component; any of them is null
    // when building it failed before that part was made.
    QWidget* Form() const { return FForm.get(); }
    QFrame* Panel() const { return FPanel; }
    QLabel* Label() const { return FLabel; }
    QLabel* Image() const { return FImage; }

private:
    void setImageAutoSize(bool value);
    void setImageTransparent(bool value);
    void showPicture();

    std::unique_ptr<QWidget> FForm;
    QFrame* FPanel = nullptr; // owned by FForm
    QLabel* FLabel = nullptr; // owned by FPanel
    QLabel* FImage = nullptr; // owned by FPanel
    std::string FImageFile;

    // Qt has no numbering of its own for these, so the component keeps the
    // toolkit values it last applied to FForm and FPanel.
    platform::TPosition FPosition = platform::poDesigned;
    platform::TColor FColor = platform::clBtnFace;
    platform::TCursor FCursor = platform::crDefault;

    // The picture as loaded; what FImage shows is derived from it.
    QImage FPicture;
    bool FImageAutoSize = false;
    bool FImageTransparent = false;

    // Alive exactly as long as the handler this component installed is still
    // held by the screen's single slot: anyone who replaces or removes it
    // destroys the handler and with it the token.
    std::weak_ptr<void> FHandlerToken;
};
