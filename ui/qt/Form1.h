#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "job/FolderJob.h"
#include "job/JobView.h"
#include "ui/shared/Captions.h"
#include "ui/shared/ErrorText.h"
#include "ui/shared/WindowCommands.h"

class QCloseEvent;
class QLabel;
class QListWidget;
class QPushButton;
class QResizeEvent;

namespace folder2pdf {

// The program's window: the list of pictures (List), the buttons Open,
// Generate, move up and move down (Command1 to Command4), two labels (L1,
// L2) and the status bar with its progress bar along the bottom edge. It
// owns the folder job and is the job's view; each button runs one command
// of the job. The client area opens at 408 x 216 pixels; on every resize
// the list takes the full width between the buttons and the status bar.
//
// A command that fails shows a message box naming the error (the picture
// and the reason); the window and its list stay as they were. Commands
// clicked while another runs are refused. Closing the window during a run
// stops the run before its next picture (nothing is written) and finishes
// closing once the run has returned; closing is never refused. A closed
// window is finished: its status bar and job are gone.
//
// One window per program: the status bar module holds one bar.
class Form1 : public QWidget, public JobView, private LoadingWindow {
    Q_OBJECT

  public:
    // How the window asks for a folder: browseFolder() unless replaced.
    using FolderChooser =
        std::function<QString(QWidget* owner, const QString& title, const QString& startFolder)>;

    // Runs the start-up check (the program ends here when a debugger is
    // attached), then builds the window, its status bar and an empty job.
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // Replaces the folder chooser, e.g. with one that answers at once.
    void setFolderChooser(FolderChooser chooser);

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

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    void Form_Load();
    // The start-up steps, called by loadWindow() in their order.
    void createStatusBar(const PartLayoutTable& table) override;
    void setStatusText(std::int32_t part, std::u16string_view text) override;
    void createJob() override;
    void setCaption(Caption which, const std::u16string& text) override;
    void Form_Resize();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    void runCommand(void (FolderJob::*command)());
    void reportError(const ErrorText& text);

    QListWidget* List = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QLabel* L1 = nullptr;
    QLabel* L2 = nullptr;

    std::unique_ptr<FolderJob> job_;
    FolderChooser folderChooser_;
    WindowCommands commands_;
    bool unloaded_ = false;
};

}  // namespace folder2pdf
