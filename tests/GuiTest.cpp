// The Qt window offscreen in the scenarios both windows share, then the chooser and start-up check.

#include <QtWidgets>
#include <memory>

#include "WindowScenarios.h"
#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/QtWindow.h"
#include "common/System.h"
#include "ui/shared/myCode.h"

namespace fs = std::filesystem;
using namespace windowtest;

static QString q(const std::string& text) {
    return QString::fromStdString(text);
}
static Place placeOf(const QWidget* widget) {
    const QRect r = widget->geometry();
    return {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

struct QtDriver : Recorder {
    QtDriver() {
        form().setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
        window->show();
        // Keeps every message box's text and closes it: no test hangs on one.
        QObject::connect(&boxTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.push_back(box->text().toStdString());
                box->close();
            }
        });
        boxTimer.start(10);
    }

    template <class Widget = QWidget>
    Widget* widget(Control control) const {
        const char* names[] = {"List", "Command1", "Command2", "Command3", "Command4", "L1", "L2"};
        return window->findChild<Widget*>(names[control]);
    }
    folder2pdf::Form1& form() const { return window->form(); }
    QLabel* partLabel(int i) const {
        return window->findChild<QLabel*>("part" + QString::number(i));
    }
    QProgressBar* progressBar() const { return window->findChild<QProgressBar*>("progressBar"); }
    std::string title() const { return window->windowTitle().toStdString(); }
    std::string text(Control label) const { return widget<QLabel>(label)->text().toStdString(); }
    std::string part(int index) const { return partLabel(index)->text().toStdString(); }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int i = 0; i < widget<QListWidget>(List)->count(); ++i) {
            texts.push_back(widget<QListWidget>(List)->item(i)->text().toStdString());
        }
        return texts;
    }
    void click(Control button) const { widget<QAbstractButton>(button)->click(); }
    void pressDelete() const {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QCoreApplication::sendEvent(widget(List), &key);
    }
    void drop(const std::vector<std::string>& paths) const {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(q(path)));
        }
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &event);
    }
    std::string tip() const { return partLabel(1)->toolTip().toStdString(); }
    void selectRow(int row) const { widget<QListWidget>(List)->setCurrentRow(row); }
    void resize(int width, int height) const { window->resize(width, height); }
    // The list, the status bar's last part and the progress bar.
    std::array<Place, 3> layout() const {
        return {placeOf(widget(List)), placeOf(partLabel(3)), placeOf(progressBar())};
    }
    std::array<int, 2> progress() const {
        return {progressBar()->maximum(), progressBar()->value()};
    }
    void setProgress(int value) const { progressBar()->setValue(value); }
    void later(const std::function<void()>& steps) const { QTimer::singleShot(0, steps); }
    void fromAnyThread(std::function<void()> steps) const {
        QMetaObject::invokeMethod(qApp, std::move(steps), Qt::QueuedConnection);
    }
    void close() const { window->close(); }

    QTimer boxTimer;
    std::unique_ptr<folder2pdf::QtWindow> window = std::make_unique<folder2pdf::QtWindow>();
};
INSTANTIATE_TYPED_TEST_SUITE_P(GuiTest, Window, QtDriver);

TEST(BrowseFolderTest, OpensOnTheStartFolderAndShowsTheSelectedPath) {
    testsupport::TempDir root;
    fs::create_directory(root.path() / "其他");
    const QString start = q(root.file("其他")), other = q(testsupport::utf8(root.path()));
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        const auto* status = dialog->findChild<QLabel*>("selectedPath");
        EXPECT_EQ(dialog->selectedFiles(), QStringList{start});
        EXPECT_EQ(status->text(), start);
        dialog->selectFile(other);
        EXPECT_EQ(status->text(), other);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept() is protected
    });
    EXPECT_EQ(folder2pdf::BrowseDirectorysOnly::browseFolder(nullptr, "t", start), other);
}

TEST(StartupCheckTest, ReadsTheTracerFromTheProcessStatus) {
    EXPECT_EQ(folder2pdf::tracerPid("Name:\tx\nTracerPid:\t4242\nUid:\t0\n"), 4242);
    EXPECT_EQ(folder2pdf::tracerPid("XTracerPid:\t7\n"), 0);
    EXPECT_FALSE(folder2pdf::debuggerAttached());
}

int main(int argc, char** argv) {
    // Test discovery runs this program without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window remembers the folder opened last: here, not in the user's settings.
    testsupport::TempDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().string().c_str());
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
