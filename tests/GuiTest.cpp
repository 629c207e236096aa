// The Qt window offscreen in the scenarios both windows share, then the chooser and start-up check.

#include <QtTest>
#include <QtWidgets>
#include <memory>

#include "WindowScenarios.h"
#include "common/System.h"
#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/PictureList.h"
#include "ui/qt/QtWindow.h"
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

// Each window starts as on a first start: no view, order or folder remembered.
static bool forgetSettings() {
    QSettings("folder2pdf", "folder2pdf-gui").clear();
    return true;
}

struct QtDriver : Recorder {
    QtDriver() {
        form().setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
        window->setPicturesChooser(
            [this](const std::string&, const std::string&, const std::vector<std::string>&) {
                return picturesChosen;
            });
        window->show();
        // Keeps every message box's text and closes it, and answers a menu
        // when asked to: no test hangs on one.
        QObject::connect(&boxTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.push_back(box->text().toStdString());
                box->close();
            }
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu && menuAnswer >= 0) {
                for (QAction* action : menu->actions()) {
                    if (!action->isSeparator() && action->data().toInt() == menuAnswer) {
                        menu->setActiveAction(action);
                    }
                }
                QTest::keyClick(menu, Qt::Key_Return);
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
    QListWidget* list() const { return widget<QListWidget>(List); }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int i = 0; i < list()->count(); ++i) {
            texts.push_back(list()->item(i)->text().toStdString());
        }
        return texts;
    }
    void click(Control button) const { widget<QAbstractButton>(button)->click(); }
    void pressDelete() const {
        list()->setFocus();
        key(Key::Delete, false);
    }
    // Pressed as the user does, to the control with the focus: through the window's shortcuts.
    void key(Key key, bool ctrl, bool shift = false) const {
        const Qt::Key keys[] = {Qt::Key_O,      Qt::Key_S,     Qt::Key_R,  Qt::Key_L,
                                Qt::Key_Z,      Qt::Key_T,     Qt::Key_Up, Qt::Key_Down,
                                Qt::Key_Delete, Qt::Key_Escape};
        Qt::KeyboardModifiers modifiers;
        modifiers.setFlag(Qt::ControlModifier, ctrl);
        modifiers.setFlag(Qt::ShiftModifier, shift);
        if (!window->isActiveWindow()) {
            window->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        }
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window.get(), keys[static_cast<int>(key)], modifiers);
    }
    // Drags and drops as Qt delivers them to the list, at a point in row
    // `row`'s upper half (below the last row for the row count).
    void dropOnListAt(QMimeData& data, int row, Qt::DropAction action) const {
        QWidget* viewport = list()->viewport();
        const int rows = list()->count();
        const QRect place = list()->visualItemRect(list()->item(std::min(row, rows - 1)));
        const QPoint at = row < rows ? place.topLeft() + QPoint(4, 2)
                                     : QPoint(place.left() + 4, place.bottom() + 4);
        QDragEnterEvent enter(at, action, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, action, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
        QDropEvent drop(at, action, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
    }
    static void setUrls(QMimeData& data, const std::vector<std::string>& paths) {
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(q(path)));
        }
        data.setUrls(urls);
    }
    void drop(const std::vector<std::string>& paths) const {
        QMimeData data;
        setUrls(data, paths);
        QDragEnterEvent enter(QPoint(100, 20), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent event(QPointF(100, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &event);
    }
    void dropOnList(const std::vector<std::string>& paths, int row) const {
        QMimeData data;
        setUrls(data, paths);
        dropOnListAt(data, row, Qt::CopyAction);
    }
    // A real drag can't run offscreen: its data, as the list gives it, is dropped instead.
    void dragTo(int row) const {
        const std::unique_ptr<QMimeData> data(
            list()->model()->mimeData(list()->selectionModel()->selectedIndexes()));
        dropOnListAt(*data, row, Qt::MoveAction);
    }
    void selectRows(const std::vector<int>& rows) const {
        list()->clearSelection();
        for (const int row : rows) {
            list()->setCurrentRow(row, QItemSelectionModel::Select);
        }
    }
    std::vector<int> selection() const {
        std::vector<int> rows;
        for (const QModelIndex& index : list()->selectionModel()->selectedIndexes()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    // A right-click on row `row`, and item `item` of the menu it opens.
    void contextMenu(int row, int item) {
        const QPoint at = list()->visualItemRect(list()->item(row)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list()->viewport()->mapToGlobal(at));
        menuAnswer = item;
        QCoreApplication::sendEvent(list()->viewport(), &event);
        menuAnswer = -1;
    }
    // Scrolls down the list as the thumbnails come, as a user looking at them would.
    bool waitForThumbnails(int rows) const {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            int drawn = 0;
            QListWidgetItem* firstBlank = nullptr;
            for (int i = 0; i < list()->count(); ++i) {
                const bool thumbnail =
                    list()->item(i)->data(folder2pdf::PictureList::thumbnailDrawnRole).toBool();
                drawn += thumbnail;
                firstBlank = firstBlank || thumbnail ? firstBlank : list()->item(i);
            }
            if (drawn >= rows) {
                return true;
            }
            if (firstBlank) {
                list()->scrollToItem(firstBlank, QAbstractItemView::PositionAtTop);
            }
            QThread::msleep(10);
        }
        return false;
    }
    std::string tip() const { return partLabel(1)->toolTip().toStdString(); }
    void selectRow(int row) const {
        list()->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
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

    const bool settingsForgotten = forgetSettings();
    int menuAnswer = -1;  // the item the next menu is answered with
    QTimer boxTimer;
    std::unique_ptr<folder2pdf::QtWindow> window = std::make_unique<folder2pdf::QtWindow>();
};
INSTANTIATE_TYPED_TEST_SUITE_P(GuiTest, Window, QtDriver);

// Back to the names, no thumbnail is made any more: the workers leave the
// rest of a long list alone.
TEST(GuiThumbnailsTest, TheNamesViewStopsTheThumbnailsBeingMade) {
    testsupport::Folder folder("图片");
    for (int i = 0; i < 30; ++i) {
        folder.add("p" + std::to_string(100 + i) + ".bmp", 600, 600, true);
    }
    QtDriver w;
    w.form().openGivenFolder(folder.path);
    w.key(Key::T, true);
    w.key(Key::T, true);
    const folder2pdf::ThumbnailCache& cache = *w.form().thumbnails();
    QElapsedTimer waited;
    waited.start();
    while (!cache.idle() && waited.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(cache.find({folder.file("p129.bmp")}), nullptr);
}

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
