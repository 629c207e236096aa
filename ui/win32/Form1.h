#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "job/FolderJob.h"
#include "job/JobView.h"
#include "ui/shared/Captions.h"
#include "ui/shared/ErrorText.h"
#include "ui/shared/WindowCommands.h"

namespace folder2pdf {

// The program's window on Windows, of plain common controls: the list of
// pictures (List), the buttons Open, Generate, move up and move down
// (Command1 to Command4), two labels (L1, L2) and the status bar with its
// progress bar along the bottom edge. It owns the folder job and is the
// job's view; each button runs one command of the job. The client area
// opens at 6120 x 3240 twips (408 x 216 pixels at 96 dots an inch); on
// every resize the list takes the full width between the buttons and the
// status bar.
//
// A command that fails shows a message box naming the error (the picture
// and the reason); the window and its list stay as they were. Commands
// clicked while another runs are refused. Closing the window during a run
// hides it, stops the run before its next picture (nothing is written) and
// destroys the window once the run has returned; closing is never refused.
// A closed window is finished: its status bar and job are gone.
//
// One window per program: the status bar module holds one bar.
class Form1 : public JobView, private LoadingWindow {
  public:
    // The controls' identifiers, for GetDlgItem.
    enum ControlId : int {
        ListId = 100,
        Command1Id,
        Command2Id,
        Command3Id,
        Command4Id,
        L1Id,
        L2Id,
    };

    // How the window asks for a folder: browseFolder() unless replaced.
    using FolderChooser = std::function<std::wstring(HWND owner, const std::wstring& title,
                                                     const std::wstring& startFolder)>;

    // Initialises the common controls, creates the window (not yet shown)
    // and runs the start-up sequence: the start-up check (the program ends
    // here when a debugger is attached), the status bar and an empty job.
    Form1();
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    // Destroys the window if it is still there.
    ~Form1() override;

    // The window, null once it has been destroyed.
    HWND hwnd() const { return hwnd_; }
    // Replaces the folder chooser, e.g. with one that answers at once.
    void setFolderChooser(FolderChooser chooser);
    // Ends the thread's message loop (WM_QUIT) when the window is destroyed.
    void quitWhenClosed() { quitWhenClosed_ = true; }
    // Hands a message of the thread's loop to the window's keyboard
    // navigation (Tab between the controls); true when it took it.
    bool takeDialogMessage(MSG& message);

    // The job, null once the window has closed.
    const FolderJob* job() const { return job_.get(); }

    // JobView, carried out on the list, the status bar and the folder chooser.
    std::string chooseFolder(const std::string& startFolder) override;
    void clearEntries() override;
    void addEntry(const std::string& text) override;
    void setEntry(int row, const std::string& text) override;
    int selectedEntry() override;
    void selectEntry(int row) override;
    void showMessage(JobMessage message, std::int32_t count) override;
    void showProgressRange(std::int32_t low, std::int32_t high) override;
    void showProgress(std::int32_t position) override;
    void runPendingEvents() override;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void Form_Initialize();
    void createControls();
    // Puts the buttons, labels and list at their design places and gives
    // them their fonts, both at the current DPI.
    void placeControls();
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Form_Close();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    // The start-up steps, called by loadWindow() in their order.
    void createStatusBar(const PartLayoutTable& table) override;
    void setStatusText(std::int32_t part, std::u16string_view text) override;
    void createJob() override;
    void setCaption(Caption which, const std::u16string& text) override;

    void runCommand(void (FolderJob::*command)());
    void reportError(const ErrorText& error);
    int twipsToPixels(int twips) const;
    HWND control(ControlId id) const { return GetDlgItem(hwnd_, id); }

    HWND hwnd_ = nullptr;
    HWND List = nullptr;
    HWND L1 = nullptr;
    HWND L2 = nullptr;
    HWND focused_ = nullptr;  // the control to give the focus back to
    int dpi_ = 96;
    HFONT listFont_ = nullptr;
    HFONT bigFont_ = nullptr;
    HFONT smallFont_ = nullptr;

    std::unique_ptr<FolderJob> job_;
    FolderChooser folderChooser_;
    WindowCommands commands_;
    bool unloaded_ = false;
    bool quitWhenClosed_ = false;
};

}  // namespace folder2pdf
