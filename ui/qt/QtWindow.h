#pragma once

#include <QWidget>
#include <memory>

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
// may be dropped on it; the list takes Delete and offers 移除 on its menu.
class QtWindow : public QWidget {
  public:
    explicit QtWindow(QWidget* parent = nullptr);
    ~QtWindow() override;

    Form1& form() { return *form_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Delete on the list; a double-click on the status bar's message part.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class Toolkit;
    std::unique_ptr<Toolkit> toolkit_;
    std::unique_ptr<Form1> form_;
};

}  // namespace folder2pdf
