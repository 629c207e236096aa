#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "ui/shared/Form1.h"

namespace folder2pdf {

// The window on Windows: plain common controls drawing Form1's design, at
// the screen's resolution (the design again when the window moves to a
// screen of another scale). Control k of the design has the identifier
// firstControlId + k, for GetDlgItem. The common controls are initialised
// here, before anything of the design is made.
class Win32Window {
  public:
    static constexpr int firstControlId = 100;

    Win32Window();
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;
    // Destroys the window if it is still there.
    ~Win32Window();

    Form1& form() { return *form_; }
    // The window, null once it has been destroyed.
    HWND hwnd() const { return hwnd_; }
    // The status bar and its progress bar, null once destroyed.
    HWND statusBar() const;
    HWND progressBar() const;
    // The message part's tooltip control.
    HWND documentTip() const;
    // Ends the thread's message loop (WM_QUIT) when the window is destroyed.
    void quitWhenClosed() { quitWhenClosed_ = true; }
    // Hands a message of the thread's loop to the window's keyboard
    // navigation (Tab between the controls); true when it took it.
    bool takeDialogMessage(MSG& message);

  private:
    class Toolkit;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void restoreFocus(WPARAM activation);
    void close();
    // WM_NOTIFY from the status bar (a double-click) or 生成 (its arrow).
    void notified(const NMMOUSE& notice);
    void rescale(int dpi, const RECT& suggested);
    // WM_NCDESTROY: the window is gone.
    void forget();

    HWND hwnd_ = nullptr;
    HWND focused_ = nullptr;  // the control to give the focus back to
    bool quitWhenClosed_ = false;
    std::unique_ptr<Toolkit> toolkit_;
    std::unique_ptr<Form1> form_;
};

}  // namespace folder2pdf
