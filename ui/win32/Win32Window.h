#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/shared/Form1.h"
#include "ui/win32/PictureList.h"

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
    // Hands a message of the thread's loop to the window before it is
    // dispatched: the window's keys (Form1::Form_KeyDown, with Ctrl and
    // Shift as held now), then its keyboard navigation (Tab between the
    // controls); true when it took it. The loop of a run takes the same.
    bool takeMessage(MSG& message);
    // The key of a WM_KEYDOWN for the window or a control of it, with Ctrl
    // and Shift as given, to Form1: true when it was a command's (or Esc
    // ending a drag of the list's rows). Delete counts on the list only.
    bool takeKey(const MSG& message, bool ctrl, bool shift);

    PictureList& list();
    // How 添加图片… asks for pictures; the system's file dialog unless replaced.
    using PicturesChooser = std::function<std::vector<std::string>(
        const std::string& title, const std::string& startFolder,
        const std::vector<std::string>& patterns)>;
    void setPicturesChooser(PicturesChooser chooser) { picturesChooser_ = std::move(chooser); }

  private:
    class Toolkit;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void restoreFocus(WPARAM activation);
    void close();
    // WM_NOTIFY from the status bar (a double-click) or 生成 (its arrow).
    void notified(const NMMOUSE& notice);
    void contextMenu(LPARAM screenPoint);
    void dropped(HDROP drop);
    void minimumSize(MINMAXINFO& limits) const;
    void rescale(int dpi, const RECT& suggested);
    // WM_NCDESTROY: the window is gone.
    void forget();

    HWND hwnd_ = nullptr;
    HWND focused_ = nullptr;  // the control to give the focus back to
    bool quitWhenClosed_ = false;
    PicturesChooser picturesChooser_;
    std::unique_ptr<Toolkit> toolkit_;
    std::unique_ptr<Form1> form_;
};

}  // namespace folder2pdf
