#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/shared/Form1.h"

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QResizeEvent;

namespace folder2pdf {

// The window on Linux: Qt widgets drawing Form1's design. Each control
// carries its design name as its object name ("List", "Command1", ...; the
// status bar "statusBar" with its parts "part0" to "part3", the progress
// bar "progressBar"), so tests and tools find them. The client area opens
// at the design's 408 x 216 device-independent pixels. Folders and pictures
// may be dropped on it, or on the list's rows; the list's rows are dragged
// to their places; the design's keys (Form1::Form_KeyDown) work wherever
// the focus is in the window, Delete on the list.
class QtWindow : public QWidget {
  public:
    explicit QtWindow(QWidget* parent = nullptr);
    ~QtWindow() override;

    Form1& form() { return *form_; }

    // Answers in place of 添加图片…'s file dialog (tests, tools): the
    // paths chosen for a title, a start folder and the patterns offered.
    using PicturesChooser = std::function<std::vector<std::string>(
        const std::string& title, const std::string& startFolder,
        const std::vector<std::string>& patterns)>;
    void setPicturesChooser(PicturesChooser chooser) { picturesChooser_ = std::move(chooser); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // A double-click on the status bar's message part.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Toolkit;
    void createShortcuts();

    PicturesChooser picturesChooser_;
    std::unique_ptr<Toolkit> toolkit_;
    std::unique_ptr<Form1> form_;
};

}  // namespace folder2pdf
