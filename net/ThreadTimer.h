#pragma once
// TThreadTimer: a timer component over window timer 1 of its own hidden
// window (class "TmrWindowClass"). Its tick arrives through the message loop
// of the thread that made it, so OnTimer runs there.

#include "platform/MessageWindow.h"

#include <QObject>

#include <functional>

using TNotifyEvent = std::function<void(QObject* Sender)>;

class TThreadTimer : public QObject {
    Q_OBJECT
public:
    // The owner is the Qt parent and destroys the timer with itself.
    explicit TThreadTimer(QObject* owner = nullptr);
    ~TThreadTimer() override;

    TThreadTimer(const TThreadTimer&) = delete;
    TThreadTimer& operator=(const TThreadTimer&) = delete;

    // Published properties. Setting a different value, and setting OnTimer,
    // re-arms the window timer; setting an unchanged value does nothing.
    bool getEnabled() const { return FEnabled; }
    void setEnabled(bool value);

    unsigned getInterval() const { return FInterval; }
    void setInterval(unsigned value);

    const TNotifyEvent& getOnTimer() const { return FOnTimer; }
    void setOnTimer(TNotifyEvent value);

    // Enables the timer with the interval and starts its countdown afresh,
    // whether or not it was running with the same values.
    void Restart(unsigned interval);

    // The hidden window that owns timer 1; null when it could not be made.
    platform::HWND TimerWindow = nullptr;

private:
    // Kills timer 1, then sets it when Interval is not 0, Enabled is true and
    // OnTimer is assigned; raises "No Timer" when that fails.
    void UpdateTimer();
    static platform::LRESULT WndProc(platform::HWND window, platform::UINT message,
                                     platform::WPARAM wParam, platform::LPARAM lParam);

    bool FEnabled = true;
    unsigned FInterval = 1000;
    TNotifyEvent FOnTimer;
};
