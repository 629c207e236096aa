// The Qt window offscreen in the Windows window's scenarios, then the chooser and start-up check.

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

const std::vector<std::string> examples{"a.bmp", "b.bmp", "c.bmp"};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<Form1>();
        form->setFolderChooser([this](QWidget*, const QString& title, const QString& start) {
            EXPECT_EQ(title, QStringLiteral("请选择图片文件夹"));
            EXPECT_EQ(start, QCoreApplication::applicationDirPath());
            ++chooserCalls;
            return chosen;
        });
        form->show();
        // Keeps every message box's text and closes it: no test hangs on one.
        QObject::connect(&boxTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.push_back(box->text());
                box->close();
            }
        });
        boxTimer.start(10);
    }

    QListWidget* list() const { return form->findChild<QListWidget*>("List"); }
    void click(const char* button) const { form->findChild<QPushButton*>(button)->click(); }
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

    QTimer boxTimer;
    std::vector<QString> messages;
    testsupport::Folder folder{"图片"};
    std::unique_ptr<Form1> form;
    QString chosen;
    int chooserCalls = 0;
};

TEST_F(GuiTest, StartUpShowsCaptionsStatusPartsAndLayout) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("图片转PDF"));
    EXPECT_EQ(form->findChild<QLabel*>("L1")->text(), QStringLiteral("图片文件夹转PDF"));
    EXPECT_EQ(form->findChild<QLabel*>("L2")->text(), QStringLiteral("打开文件夹，排序后点生成"));
    EXPECT_EQ(part(0)->text(), QStringLiteral("信息："));
    EXPECT_EQ(part(2)->text(), QStringLiteral(" 进度 "));
    // 15 twips a pixel: the list runs from 700 twips (47 px) to 1000 (67 px) above the bottom.
    for (const auto& [width, height, listHeight] :
         {std::tuple{408, 216, 149}, {640, 400, 333}, {408, 60, 0}}) {
        form->resize(width, height);
        EXPECT_EQ(list()->geometry(), QRect(0, 47, width, listHeight)) << width << "x" << height;
        EXPECT_EQ(StatusProgress::progressBar()->geometry(),
                  QRect(174, 2, width - 176, StatusProgress::statusBar()->height() - 3));
    }
}

TEST_F(GuiTest, OpenListsMovesAndGeneratesTheDocumentWithProgress) {
    openExamples();
    EXPECT_EQ(rows(), examples);
    EXPECT_EQ(part(1)->text(), QStringLiteral(" 共3幅"));
    selectRow(0);
    click("Command4");
    EXPECT_EQ(rows()[1], examples[0]);

    QProgressBar* progress = StatusProgress::progressBar();
    progress->setValue(2);  // as a run left it
    click("Command2");
    EXPECT_EQ(progress->maximum(), 4);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_EQ(part(1)->text(), QStringLiteral("完成！"));
    EXPECT_EQ(testsupport::readFile(pdfPath()).substr(0, 8), "%PDF-1.4");
}

TEST_F(GuiTest, FailuresShowTheReasonAndKeepTheListAndTheEarlierDocument) {
    openExamples();
    testsupport::writeFile(pdfPath(), "earlier");
    // A folder the run cannot write to; root writes through permission bits, so it runs as nobody.
    fs::permissions(folder.dir.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(fs::path(folder.path), fs::perms::owner_write, fs::perm_options::remove);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);
    click("Command2");
    ASSERT_TRUE(!root || ::seteuid(0) == 0);
    fs::permissions(fs::path(folder.path), fs::perms::owner_write, fs::perm_options::add);

    testsupport::writeFile(folder.file("x.png"), "\x89PNG\r\n\x1a\n broken");
    click("Command1");
    const std::vector<std::string> before = rows();
    click("Command2");
    EXPECT_EQ(rows(), before);
    selectRow(1);
    click("Command3");  // the window still takes commands
    EXPECT_EQ(rows()[0], before[1]);
    // A failure after the window was closed shows no box.
    form->setFolderChooser([this](QWidget*, const QString&, const QString&) {
        form->close();
        return q(folder.file("gone"));
    });
    click("Command1");

    const QString reasons[] = {
        "没有完成：没有权限：系统拒绝访问这个文件或文件夹。\n" + q(pdfPath()),
        "没有完成：图片已损坏，无法读取。\n" + q(folder.file("x.png")) + "\n\n详细信息："};
    ASSERT_EQ(messages.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messages[i].left(reasons[i].size()), reasons[i]);
    }
    EXPECT_EQ(testsupport::readFile(pdfPath()), "earlier");
}

TEST_F(GuiTest, ClicksDuringARunAreRefusedAndClosingStopsItWritingNothing) {
    openExamples();
    QTimer::singleShot(0, [this] {
        click("Command1");
        click("Command2");
        form->close();
    });
    click("Command2");
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_FALSE(fs::exists(testsupport::u8path(pdfPath())));
    EXPECT_EQ(form->job(), nullptr);
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
    EXPECT_EQ(folder2pdf::myCode::tracerPid("Name:\tx\nTracerPid:\t4242\nUid:\t0\n"), 4242);
    EXPECT_EQ(folder2pdf::myCode::tracerPid("XTracerPid:\t7\n"), 0);
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
