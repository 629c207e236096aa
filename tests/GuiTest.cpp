// The window on Qt's offscreen platform, in the scenarios of the Windows
// window's tests; then the folder chooser and the start-up check.

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
using testsupport::utf8;

// Answers every modal dialog that opens while it lives (by default: keeps
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

const std::vector<std::string> examples{"a.bmp", "b.bmp", "c.bmp"};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->setFolderChooser([this](QWidget* owner, const QString& title, const QString& start) {
            EXPECT_EQ(owner, form.get());
            EXPECT_EQ(title, QStringLiteral("请选择图片文件夹"));
            EXPECT_EQ(start, QCoreApplication::applicationDirPath());
            ++chooserCalls;
            return chosen;
        });
        form->show();
    }

    template <typename T>
    T* child(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    QListWidget* list() const { return child<QListWidget>("List"); }
    void click(const char* button) const { child<QPushButton>(button)->click(); }
    void selectRow(int row) const { list()->setCurrentRow(row); }
    QLabel* part(int index) const {
        return StatusProgress::statusBar()->findChild<QLabel*>(QStringLiteral("part%1").arg(index));
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> texts;
        for (int i = 0; i < list()->count(); ++i) {
            texts.push_back(list()->item(i)->text().toStdString());
        }
        return texts;
    }

    // A few pictures in a fresh folder, listed in the window.
    void openExamples() {
        for (const std::string& name : examples) {
            folder.add(name, 2, 2);
        }
        chosen = q(folder.path);
        click("Command1");
    }
    std::string pdfPath() const { return folder.file("图片.pdf"); }

    ModalWatcher watcher;
    testsupport::Folder folder{"图片"};
    std::unique_ptr<Form1> form;
    QString chosen;
    int chooserCalls = 0;
};

TEST_F(GuiTest, StartUpShowsCaptionsStatusPartsAndLayout) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("图片转PDF"));
    EXPECT_EQ(child<QLabel>("L1")->text(), QStringLiteral("图片文件夹转PDF"));
    EXPECT_EQ(child<QLabel>("L2")->text(), QStringLiteral("打开文件夹，排序后点生成"));
    EXPECT_EQ(form->focusWidget(), list());
    const std::tuple<int, const char16_t*> parts[] = {
        {36, u"信息："}, {136, u""}, {174, u" 进度 "}, {408, u""}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(part(i)->geometry().right() + 1, std::get<0>(parts[i])) << i;
        EXPECT_EQ(part(i)->text(), QString::fromUtf16(std::get<1>(parts[i]))) << i;
    }
    // 15 twips a pixel: the list starts at 700 twips (47 px) and ends 1000
    // twips (67 px) above the bottom; only the list and the status bar
    // stretch.
    EXPECT_EQ(form->size(), QSize(408, 216));
    for (const auto& [width, height, listHeight] :
         {std::tuple{408, 216, 149}, {640, 400, 333}, {408, 60, 0}}) {
        form->resize(width, height);
        QApplication::processEvents();
        EXPECT_EQ(list()->geometry(), QRect(0, 47, width, listHeight)) << width << "x" << height;
        EXPECT_EQ(StatusProgress::progressBar()->geometry(),
                  QRect(174, 2, width - 176, StatusProgress::statusBar()->height() - 3));
    }
}

TEST_F(GuiTest, OpenListsMovesAndGeneratesTheDocumentWithProgress) {
    openExamples();
    EXPECT_EQ(rows(), examples);
    EXPECT_EQ(part(1)->text(), QStringLiteral(" 共3幅"));
    selectRow(1);
    click("Command3");
    EXPECT_EQ(rows()[0], examples[1]);
    click("Command4");
    EXPECT_EQ(rows(), examples);

    std::vector<int> positions;
    QObject::connect(StatusProgress::progressBar(), &QProgressBar::valueChanged,
                     [&](int value) { positions.push_back(value); });
    click("Command2");
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(StatusProgress::progressBar()->maximum(), 4);
    EXPECT_EQ(part(1)->text(), QStringLiteral("完成！"));
    EXPECT_EQ(testsupport::readFile(pdfPath()).substr(0, 8), "%PDF-1.4");
}

TEST_F(GuiTest, FailuresShowTheReasonAndKeepTheListAndTheEarlierDocument) {
    openExamples();
    click("Command2");
    const std::string earlier = testsupport::readFile(pdfPath());
    // A folder the run cannot write to; root writes through permission
    // bits, so the run goes as nobody.
    fs::permissions(folder.dir.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(testsupport::u8path(folder.path), fs::perms::owner_write,
                    fs::perm_options::remove);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);
    click("Command2");
    ASSERT_TRUE(!root || ::seteuid(0) == 0);
    fs::permissions(testsupport::u8path(folder.path), fs::perms::owner_write,
                    fs::perm_options::add);

    testsupport::writeFile(folder.file("x.png"), "\x89PNG\r\n\x1a\n broken");
    click("Command1");
    const std::vector<std::string> before = rows();
    click("Command2");
    ASSERT_EQ(watcher.messages.size(), 2u);
    EXPECT_TRUE(watcher.messages[0].startsWith(
        "没有完成：没有权限：系统拒绝访问这个文件或文件夹。\n" + q(pdfPath())))
        << watcher.messages[0].toStdString();
    EXPECT_TRUE(watcher.messages[1].startsWith("没有完成：图片已损坏，无法读取。\n" +
                                               q(folder.file("x.png")) + "\n\n详细信息："))
        << watcher.messages[1].toStdString();
    EXPECT_EQ(testsupport::readFile(pdfPath()), earlier);
    EXPECT_EQ(rows(), before);
    selectRow(1);
    click("Command3");  // the window still takes commands
    EXPECT_EQ(rows()[0], before[1]);
}

TEST_F(GuiTest, ClicksDuringARunAreRefusedAndClosingStopsItWritingNothing) {
    openExamples();
    QTimer::singleShot(0, [this] {
        click("Command1");
        click("Command2");
        form->close();
        EXPECT_NE(form->job(), nullptr);  // the run is still on the stack
    });
    click("Command2");
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_FALSE(fs::exists(testsupport::u8path(pdfPath())));
    EXPECT_EQ(form->job(), nullptr);
    EXPECT_EQ(StatusProgress::statusBar(), nullptr);
    EXPECT_TRUE(watcher.messages.empty());
}

TEST(BrowseFolderTest, OpensOnTheStartFolderAndShowsTheSelectedPath) {
    testsupport::TempDir root;
    fs::create_directory(root.path() / "其他");
    const QString start = q(utf8(root.path())), other = q(root.file("其他"));
    ModalWatcher answer([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("请选择图片文件夹"));
        const auto* status = dialog->findChild<QLabel*>("selectedPath");
        EXPECT_EQ(status->text(), start);
        dialog->selectFile(other);
        EXPECT_EQ(status->text(), other);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept() is protected
    });
    EXPECT_EQ(folder2pdf::BrowseDirectorysOnly::browseFolder(nullptr, "请选择图片文件夹", start),
              other);
}

TEST(StartupCheckTest, ReadsTheTracerFromTheProcessStatus) {
    using folder2pdf::myCode::tracerPid;
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
