// The window on Qt's offscreen platform: start-up state, layout, the
// buttons wired to the job, errors, closing during a run, the folder
// chooser, the status bar module and the start-up check.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/Form1.h"
#include "ui/qt/StatusProgress.h"
#include "ui/shared/myCode.h"

namespace {

namespace fs = std::filesystem;
using folder2pdf::Form1;
namespace StatusProgress = folder2pdf::StatusProgress;

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Answers every modal dialog that opens while it lives (by default: records
// a message box's text and closes it), so that a test never hangs on one.
class ModalWatcher {
  public:
    explicit ModalWatcher(std::function<void(QWidget*)> answer = [](QWidget* w) { w->close(); }) {
        QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    messages.push_back(box->text());
                }
                answer(modal);
            }
        });
        timer_.start(10);
    }
    std::vector<QString> messages;

  private:
    QTimer timer_;
};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->setFolderChooser([this](QWidget* owner, const QString& title, const QString& start) {
            EXPECT_EQ(owner, form.get());
            chooserTitle = title;
            chooserStart = start;
            ++chooserCalls;
            return chosen;
        });
        form->show();
    }

    template <typename T>
    T* child(const char* name) const {
        T* widget = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QListWidget* list() const { return child<QListWidget>("List"); }
    void click(const char* button) const { child<QPushButton>(button)->click(); }
    QString part(int index) const {
        return StatusProgress::statusBar()
            ->findChild<QLabel*>(QStringLiteral("part%1").arg(index))
            ->text();
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int i = 0; i < list()->count(); ++i) {
            texts.push_back(list()->item(i)->text().toStdString());
        }
        return texts;
    }

    // The example pictures in a fresh folder, listed in the window.
    void openExamples() {
        for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR)) {
            fs::copy_file(entry.path(), folder.path() / entry.path().filename());
        }
        testsupport::writeFile(folder.file("notes.txt"), "not a picture");
        chosen = q(folder.path().string());
        click("Command1");
    }
    std::string pdfPath() const { return folder.file(folder.path().filename().string() + ".pdf"); }

    testsupport::TempDir folder;
    std::unique_ptr<Form1> form;
    QString chosen;
    QString chooserTitle;
    QString chooserStart;
    int chooserCalls = 0;
};

TEST_F(GuiTest, StartUpShowsCaptionsStatusPartsAndLayoutAndGivesTheListTheFocus) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("图片转PDF"));
    EXPECT_EQ(child<QLabel>("L1")->text(), QStringLiteral("图片文件夹转PDF"));
    EXPECT_EQ(child<QLabel>("L2")->text(), QStringLiteral("打开文件夹，排序后点生成"));
    EXPECT_EQ(child<QLabel>("L1")->palette().color(QPalette::WindowText), QColor(192, 64, 0));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_FALSE(form->windowIcon().isNull());
    const QFont font = child<QWidget>("Command3")->font();
    EXPECT_EQ(font.family(), QStringLiteral("宋体"));
    EXPECT_EQ(font.pointSizeF(), 9.0);
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(form->focusWidget(), list());

    struct Part {
        int left, width;
        const char16_t* text;
    };
    const Part parts[] = {
        {0, 36, u"信息："}, {36, 100, u""}, {136, 38, u" 进度 "}, {174, 234, u""}};
    for (int i = 0; i < 4; ++i) {
        auto* label =
            StatusProgress::statusBar()->findChild<QLabel*>(QStringLiteral("part%1").arg(i));
        EXPECT_EQ(label->geometry().left(), parts[i].left) << i;
        EXPECT_EQ(label->width(), parts[i].width) << i;
        EXPECT_EQ(label->text(), QString::fromUtf16(parts[i].text)) << i;
    }
    EXPECT_EQ(part(1), QString());

    // 15 twips a pixel: the list starts at 700 twips (47 px) and ends
    // 1000 twips (67 px from its top edge: 47 + 20) above the bottom; only
    // the list and the status bar stretch.
    for (const auto& [width, height, listHeight] :
         {std::tuple{408, 216, 149}, {640, 400, 333}, {408, 60, 0}}) {
        form->resize(width, height);
        QApplication::processEvents();
        EXPECT_EQ(list()->geometry(), QRect(0, 47, width, listHeight)) << width << "x" << height;
        const QRect bar = StatusProgress::statusBar()->geometry();
        EXPECT_EQ(bar.bottom(), height - 1);
        EXPECT_EQ(StatusProgress::progressBar()->geometry(),
                  QRect(174, 2, width - 174 - 2, bar.height() - 3));
        EXPECT_EQ(child<QWidget>("Command4")->geometry(), QRect(368, 16, 33, 25));
    }
}

TEST_F(GuiTest, OpenListsThePicturesAndGenerateWritesThePdfWithProgress) {
    openExamples();
    EXPECT_EQ(chooserTitle, QStringLiteral("请选择图片文件夹"));
    EXPECT_EQ(chooserStart, QCoreApplication::applicationDirPath());
    const std::vector<std::string> pictures = {"01-gradient.png", "02-plasma.jpg", "03-shapes.gif",
                                               "04-checker.bmp", "05-gray-ramp.png"};
    EXPECT_EQ(rows(), pictures);
    EXPECT_EQ(part(1), QStringLiteral(" 共5幅"));
    chosen.clear();  // cancelled
    click("Command1");
    EXPECT_EQ(rows(), pictures);

    std::vector<int> positions;
    QObject::connect(StatusProgress::progressBar(), &QProgressBar::valueChanged,
                     [&](int value) { positions.push_back(value); });
    click("Command2");
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(StatusProgress::progressBar()->maximum(), 6);
    EXPECT_EQ(part(1), QStringLiteral("完成！"));
    EXPECT_EQ(testsupport::readFile(pdfPath()).substr(0, 8), "%PDF-1.4");
}

TEST_F(GuiTest, AFailingPictureShowsTheErrorAndTheWindowAndListSurvive) {
    testsupport::writeFile(folder.file("x.png"), "\x89PNG\r\n\x1a\n broken");
    openExamples();
    const std::vector<std::string> before = rows();
    ModalWatcher watcher;
    click("Command2");
    ASSERT_EQ(watcher.messages.size(), 1u);
    EXPECT_TRUE(
        watcher.messages[0].startsWith(QStringLiteral("没有完成：图片已损坏，无法读取。\n") +
                                       q(folder.file("x.png")) + QStringLiteral("\n\n详细信息：")))
        << watcher.messages[0].toStdString();
    EXPECT_FALSE(fs::exists(pdfPath()));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(rows(), before);
    list()->setCurrentRow(1);
    click("Command3");  // the window still works
    EXPECT_EQ(rows()[0], before[1]);
}

TEST_F(GuiTest, AnUnwritableFolderShowsThatPermissionWasRefused) {
    openExamples();
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::owner_exec |
                               fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(folder.path(), readOnly);
    // Root writes through permission bits, so the run goes as nobody.
    const bool root = ::geteuid() == 0;
    if (root && ::seteuid(65534) != 0) {
        fs::permissions(folder.path(), fs::perms::owner_all);
        GTEST_SKIP() << "cannot run as nobody";
    }
    ModalWatcher watcher;
    click("Command2");
    if (root) {
        EXPECT_EQ(::seteuid(0), 0);
    }
    fs::permissions(folder.path(), fs::perms::owner_all);
    ASSERT_EQ(watcher.messages.size(), 1u);
    EXPECT_TRUE(watcher.messages[0].startsWith(
        QStringLiteral("没有完成：没有权限：系统拒绝访问这个文件或文件夹。\n") + q(pdfPath()) +
        QStringLiteral("\n\n详细信息：cannot create a temporary file")))
        << watcher.messages[0].toStdString();
}

TEST_F(GuiTest, ClosingDuringARunWritesNothingAndUnloadsAfterTheRun) {
    openExamples();
    std::vector<std::string> destroyed;
    QObject::connect(StatusProgress::progressBar(), &QObject::destroyed,
                     [&] { destroyed.push_back("progress bar"); });
    QObject::connect(StatusProgress::statusBar(), &QObject::destroyed,
                     [&] { destroyed.push_back("status bar"); });
    QTimer::singleShot(0, [this, &destroyed] {
        form->close();
        EXPECT_NE(form->job(), nullptr);  // the run is still on the stack
        EXPECT_TRUE(destroyed.empty());
    });
    ModalWatcher watcher;
    click("Command2");
    EXPECT_FALSE(fs::exists(pdfPath()));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->job(), nullptr);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"progress bar", "status bar"}));
    EXPECT_TRUE(watcher.messages.empty());
}

TEST(BrowseFolderTest, OpensOnTheStartFolderShowsTheSelectedPathAndReturnsItOrEmptyOnCancel) {
    testsupport::TempDir root;
    fs::create_directory(root.path() / "start");
    fs::create_directory(root.path() / "其他");
    const QString start = q(root.file("start"));
    QString shownAtOpening, shownAfterMove;
    int dialogs = 0;
    ModalWatcher answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (++dialogs == 2) {
            dialog->reject();
            return;
        }
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("请选择图片文件夹"));
        EXPECT_EQ(dialog->selectedFiles(), QStringList{start});
        auto* status = dialog->findChild<QLabel*>("selectedPath");
        shownAtOpening = status->text();
        dialog->selectFile(q(root.file("其他")));
        shownAfterMove = status->text();
        dialog->selectFile(start);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept() is protected
    });
    EXPECT_EQ(folder2pdf::BrowseDirectorysOnly::browseFolder(nullptr, "请选择图片文件夹", start),
              start);
    EXPECT_EQ(shownAtOpening, start);
    EXPECT_EQ(shownAfterMove, q(root.file("其他")));
    EXPECT_EQ(folder2pdf::BrowseDirectorysOnly::browseFolder(nullptr, "t", start), QString());
}

TEST(StartupCheckTest, ReadsTheTracerFromTheProcessStatus) {
    using folder2pdf::myCode::tracerPid;
    EXPECT_EQ(tracerPid("Name:\tx\nTracerPid:\t0\nUid:\t0\n"), 0);
    EXPECT_EQ(tracerPid("Name:\tx\nTracerPid:\t4242\nUid:\t0\n"), 4242);
    EXPECT_EQ(tracerPid("Name:\tx\nUid:\t0\n"), 0);
    EXPECT_EQ(tracerPid("XTracerPid:\t7\n"), 0);
    EXPECT_FALSE(folder2pdf::myCode::debuggerAttached());
}

}  // namespace

int main(int argc, char** argv) {
    // Test discovery runs this program without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
