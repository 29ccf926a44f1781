#pragma once
// Hidden windows with numbered messages and window timers, as far as the
// socket component needs them: a window class registered once per process,
// per-window owner data in the window's extra bytes, a window procedure that
// receives posted messages and WM_TIMER, and a call that waits for the next
// message. Windows are Qt objects of the thread that creates them; their
// messages are delivered when that thread's event loop runs.

#include <cstdint>

namespace platform {

class HiddenWindow;
using HWND = HiddenWindow*;

using UINT = unsigned int;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using ATOM = std::uint16_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

constexpr std::uint32_t WS_POPUP = 0x80000000u;
constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080u;

// The shortest and longest timer periods; SetTimer clamps to them.
constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;
constexpr UINT USER_TIMER_MAXIMUM = 0x7FFFFFFF;

struct WNDCLASSA {
    WNDPROC lpfnWndProc = nullptr;
    int cbWndExtra = 0; // bytes of owner data per window, read and written by index
    const char* lpszClassName = nullptr;
};

inline std::uint16_t LOWORD(LPARAM value) {
    return static_cast<std::uint16_t>(static_cast<std::uintptr_t>(value) & 0xFFFF);
}
inline std::uint16_t HIWORD(LPARAM value) {
    return static_cast<std::uint16_t>((static_cast<std::uintptr_t>(value) >> 16) & 0xFFFF);
}
inline LPARAM MAKELONG(std::uint16_t low, std::uint16_t high) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(high) << 16) | low);
}

// Registers a window class; 0 when the name is missing, the procedure is
// missing or a class of that name exists already.
ATOM RegisterClassA(const WNDCLASSA& windowClass);
// Whether a class of that name is registered; fills *windowClass when given.
bool GetClassInfoA(const char* className, WNDCLASSA* windowClass);

// Creates a window of a registered class in the calling thread; null when
// the class is unknown. Position, size, styles and title are kept only for
// what they are: these windows are never shown.
HWND CreateWindowExA(std::uint32_t exStyle, const char* className, const char* windowName,
                     std::uint32_t style, int x, int y, int width, int height, HWND parent);
// Kills the window's timers and drops its undelivered messages.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);

// The owner data of a window: index is a byte offset into its extra bytes,
// and index + sizeof(LONG_PTR) must not exceed them (0 otherwise).
LONG_PTR GetWindowLongPtrA(HWND window, int index);
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value);

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The hidden window of a component: registers the class with the procedure
// and room for one pointer the first time the class is needed, then creates
// a zero-size tool-window popup without title or parent whose owner data
// (at index 0) is owner. nullptr when registering or creating fails.
HWND AllocateHiddenWindow(const char* className, WNDPROC procedure, void* owner);

// Queues a message for the window; safe from any thread. False when the
// window does not exist (any more).
bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once, in the calling thread.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Timer id on the window: WM_TIMER with wParam = id every elapse
// milliseconds while the calling thread's loop runs. Setting an id again
// restarts it with the new period. Returns id, or 0 on failure.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse);
bool KillTimer(HWND window, UINT_PTR id);

// Blocks until at least one event (a message, a socket notification, a
// timer, user input) has arrived and handles what is there, then returns.
// Waiting this way costs no processor time. In a terminated application it
// raises ETerminated (see Terminate), so that no wait outlives the program.
void WaitMessage();

} // namespace platform
