#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "job/CommandLine.h"
#include "job/FolderJob.h"
#include "job/JobView.h"
#include "job/ThumbnailCache.h"
#include "ui/shared/ErrorText.h"
#include "ui/shared/WindowDesign.h"
#include "ui/shared/WindowToolkit.h"

namespace folder2pdf {

class WindowToolkit;

// The program's window, whatever draws it: the list of pictures (List), the
// buttons Open, Generate, move up and move down (Command1 to Command4), two
// labels (L1, L2) and the status bar with its progress bar along the bottom
// edge. It owns the folder job and is the job's view; each button runs one
// command of the job. Its toolkit (Qt, the common controls, a fake in
// tests) draws it and forwards the window's events here.
//
// A command that fails shows an error box naming the error (the picture and
// the reason); the window and its list stay as they were. Window events run
// inside a command (runPendingEvents), so a click may arrive while one runs:
// it is refused, because the run relies on the list and the folder staying
// put. Closing the window during a run stops the run before its next
// picture (nothing is written), and the window goes once the run has
// returned, so that the job is not released under its own feet. Closing is
// never refused. An unloaded window is finished: its status bar and job are
// gone.
//
// One window per program: the status bar module holds one bar.
class Form1 : public JobView {
  public:
    // How the window asks for a folder, given the prompt and the start
    // folder; the toolkit's chooser unless replaced.
    using FolderChooser =
        std::function<std::string(const std::string& title, const std::string& startFolder)>;

    // Makes the controls at their design places, loads the window (the
    // start-up check, which ends the program when a debugger is attached;
    // the status bar; an empty job; the captions) and gives the client area
    // its designed size.
    explicit Form1(WindowToolkit& toolkit);
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;
    ~Form1() override;

    // Replaces the folder chooser, e.g. with one that answers at once.
    void setFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

    // The window's events, as the toolkit forwards them.
    void Form_Resize();
    // The user closes the window: true when it may go now (the window is
    // unloaded); false during a command, which is stopped, the window going
    // once it has returned (WindowToolkit::closeWindow).
    bool Form_QueryUnload();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    // Esc: stops a run under way, as 生成 (then 停止) does.
    void Form_Escape();
    void Command3_Click();
    void Command4_Click();
    // A click on `control`: the button's command; nothing for the others.
    void controlClicked(Control control);
    // Delete, or 移除 on the list's menu: the selected entries leave the list.
    void List_Remove();
    // A key the window takes (WindowDesign's Key) with Ctrl and Shift as
    // held: true when it was a command's. Ctrl+O 打开, Ctrl+Shift+O 添加图片…,
    // Ctrl+S 生成, Ctrl+↑/↓ move the selection, Ctrl+R/L turn it, Ctrl+Z
    // undo, Ctrl+T thumbnails or names, Delete remove, Esc stop a run.
    bool Form_KeyDown(Key key, bool ctrl, bool shift);
    // A right-click on the list over row `row` (-1: below the rows): the
    // row is selected first unless it is in the selection; then the list's
    // menu of the selected pictures (turn right, turn left, 移除), undo, the
    // list's order (remembered and given to every list opened later), 添加图片…
    // and the two views.
    void List_ContextMenu(int row = -1);
    std::vector<MenuItem> List_Menu() const;
    void List_MenuClick(int index);
    // The arrow beside 生成: the menu of the document's paper and
    // compression, remembered from run to run; the choice applies to the
    // next run. Picking an item of the menu is Command2_MenuClick(index).
    void Command2_DropDown();
    std::vector<MenuItem> Command2_Menu() const;
    void Command2_MenuClick(int index);
    // Files dropped on the window: a folder is opened as if chosen; pictures
    // of one folder are listed, in natural order, and the document is named
    // after their folder and written there. Pictures dropped on a list's
    // row `row` (its row count: below the last) are inserted there, from
    // whatever folder.
    void Form_DragDrop(const std::vector<std::string>& paths, int row = -1);
    // The selected rows dragged in the list to before row `row`.
    void List_DragMoved(int row);
    // 添加图片…: pictures chosen in a file dialog go after the selection
    // (or the list's end), with their own paths.
    void addPictures();
    // The list shows names, or thumbnails beside them (remembered).
    void setListMode(ListMode mode);
    ListMode listMode() const { return listMode_; }
    // The list scrolled or was resized: its rows in view get their
    // thumbnails first.
    void List_Scrolled();
    // Thumbnails became ready (WindowToolkit::postThumbnailsReady).
    void thumbnailsReady();
    // The paths of the window's command line: one folder opens it; pictures
    // are listed as if dropped.
    void openGivenPaths(const std::vector<std::string>& paths);
    // A double-click on status bar part `part`: on the message part, once a
    // run has written the document, opens it.
    void StatusBar_DblClick(std::int32_t part);
    // Opens `folder` exactly as if it had been chosen in the folder chooser
    // (the folder the program was started with).
    void openGivenFolder(const std::string& folder);
    // The thumbnails' cache, null until the thumbnails were first shown.
    const ThumbnailCache* thumbnails() const { return thumbnails_.get(); }
    // Puts every control at its designed place at the toolkit's current
    // resolution, e.g. after the window moved to a screen of another scale.
    void placeControls();

    // The job, null once the window has unloaded.
    const FolderJob* job() const { return job_.get(); }

    // JobView, carried out on the list, the status bar and the folder chooser.
    std::string chooseFolder(const std::string& startFolder) override;
    void clearEntries() override;
    void addEntry(const std::string& text) override;
    void setEntry(int row, const std::string& text) override;
    int selectedEntry() override;
    void selectEntry(int row) override;
    std::vector<int> selectedEntries() override;
    void selectEntries(const std::vector<int>& rows) override;
    void showMessage(JobMessage message, std::int32_t count) override;
    void showProgressRange(std::int32_t low, std::int32_t high) override;
    void showProgress(std::int32_t position) override;
    void runPendingEvents() override;
    std::optional<FailureAnswer> askAboutPicture(const Error& error) override;
    std::string severalPagesRow(const std::string& name, std::size_t pages) override;
    std::string turnedRow(const std::string& text, int quarterTurns) override;

  private:
    void createControls();
    void Form_Load();
    void runCommand(const std::function<void(FolderJob&)>& command);
    void reportError(const std::exception& error, const std::function<void(FolderJob&)>& command);
    // Whether generate() may go on: asks before a list that isn't the
    // folder's whole listing replaces a document this window didn't write
    // (替换, 另存为…, 取消).
    bool mayReplace(FolderJob& job);
    void openDroppedFiles(FolderJob& job, const std::vector<std::string>& paths);
    // Remembers the folder the job holds now, if a command (an open, a
    // drop) changed it from `before`.
    void rememberOpened(const std::string& before);
    // Rows the job adds go to the list together, once it has added them all.
    void flushRows();

    WindowToolkit& toolkit_;
    std::unique_ptr<FolderJob> job_;
    FolderChooser folderChooser_;
    // What 生成 makes of the pictures: the document's options as chosen.
    DocumentOptions chosenOptions(const FolderJob& job) const;

    std::vector<WindowChoice> paperChoices_;        // 生成's menu, from the options' table
    std::vector<WindowChoice> compressionChoices_;
    std::vector<WindowChoice> colorChoices_;
    std::vector<WindowChoice> orderChoices_;     // the list's menu, likewise
    std::size_t order_ = 0;          // index into orderChoices_
    bool reverse_ = false;
    // The list in the order chosen, unless that is the names' own.
    void sortAsChosen(FolderJob& job);
    std::size_t paper_ = 0;          // index into paperChoices_
    std::size_t compression_ = 0;    // index into compressionChoices_
    std::size_t color_ = 0;          // index into colorChoices_
    std::string maxSize_;            // 大小上限 as given ("5MB"), "" for none
    ListMode listMode_ = ListMode::Names;
    std::unique_ptr<ThumbnailCache> thumbnails_;
    std::vector<ThumbnailKey> rowKeys() const;
    // The rows in view get their thumbnails as the cache has them; with
    // `want`, the cache is told what is wanted first, too.
    void showThumbnails(bool want);
    void askMaxSize();
    std::string givenFolder_;        // the chooser's next answer, when given
    std::string documentPath_;       // the document the last run wrote
    std::set<std::string> written_;  // every document this window wrote
    std::vector<std::string> rows_;  // added and not yet in the list
    bool running_ = false;           // a command is on the stack
    bool closePending_ = false;      // closed during that command
    bool unloaded_ = false;
};

}  // namespace folder2pdf
