// The window on Qt's offscreen platform: start-up state, layout, the
// buttons wired to the job, errors, closing during a run, the folder
// chooser, the status bar module and the start-up check.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/Form1.h"
#include "ui/qt/StatusProgress.h"
#include "ui/qt/myCode.h"

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

TEST_F(GuiTest, StartUpShowsTheFourStatusPartsWithTheirWidthsBordersAndLabels) {
    struct Part {
        int left, width, frame;
        const char16_t* text;
    };
    const int none = QFrame::NoFrame;
    const Part parts[] = {{0, 36, none, u"信息："},
                          {36, 100, QFrame::Panel | QFrame::Sunken, u""},
                          {136, 38, none, u" 进度 "},
                          {174, 408 - 174, none, u""}};
    QWidget* bar = StatusProgress::statusBar();
    for (int i = 0; i < 4; ++i) {
        auto* label = bar->findChild<QLabel*>(QStringLiteral("part%1").arg(i));
        EXPECT_EQ(label->x(), parts[i].left) << i;
        EXPECT_EQ(label->width(), parts[i].width) << i;
        EXPECT_EQ(label->frameStyle(), parts[i].frame) << i;
        EXPECT_EQ(label->text(), QString::fromUtf16(parts[i].text)) << i;
    }
}

TEST_F(GuiTest, StartUpShowsCaptionsFontsAnEmptyListAndGivesTheListTheFocus) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("图片转PDF"));
    EXPECT_EQ(child<QLabel>("L1")->text(), QStringLiteral("图片文件夹转PDF"));
    EXPECT_EQ(child<QLabel>("L2")->text(), QStringLiteral("打开文件夹，排序后点生成"));
    EXPECT_EQ(child<QLabel>("L1")->palette().color(QPalette::WindowText), QColor(192, 64, 0));
    EXPECT_EQ(child<QLabel>("L2")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(list()->count(), 0);
    EXPECT_EQ(part(1), QString());
    EXPECT_FALSE(form->windowIcon().isNull());
    for (const auto& [name, points] : {std::pair{"Command1", 10.5},
                                       {"Command2", 10.5},
                                       {"Command3", 9.0},
                                       {"Command4", 9.0},
                                       {"L1", 10.5}}) {
        const QFont font = child<QWidget>(name)->font();
        EXPECT_EQ(font.family(), QStringLiteral("宋体")) << name;
        EXPECT_EQ(font.pointSizeF(), points) << name;
        EXPECT_TRUE(font.bold()) << name;
    }
    if (QFontDatabase::families().contains(QStringLiteral("Noto Serif CJK SC"))) {
        EXPECT_EQ(QFontInfo(child<QWidget>("L2")->font()).family(), "Noto Serif CJK SC");
    }

    EXPECT_EQ(form->focusWidget(), list());
    std::vector<QString> order;
    for (QWidget* w = list(); order.size() < 5; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) {
            order.push_back(w->objectName());
        }
    }
    EXPECT_EQ(order,
              (std::vector<QString>{"List", "Command1", "Command2", "Command3", "Command4"}));
}

TEST_F(GuiTest, LayoutStretchesOnlyTheListAndTheStatusBar) {
    struct Size {
        const char* name;
        int width, height, listHeight;
    };
    // 15 twips a pixel: the list starts at 700 twips (47 px) and ends
    // 1000 twips (67 px from its top edge: 47 + 20) above the bottom.
    for (const Size& size : {Size{"design", 408, 216, 149}, Size{"wider", 640, 216, 149},
                             Size{"taller", 408, 400, 333}, Size{"under 1000 twips", 408, 60, 0},
                             Size{"1005 twips", 408, 67, 0}}) {
        form->resize(size.width, size.height);
        QApplication::processEvents();
        EXPECT_EQ(list()->geometry(), QRect(0, 47, size.width, size.listHeight)) << size.name;
        const QRect bar = StatusProgress::statusBar()->geometry();
        EXPECT_EQ(bar.bottom(), size.height - 1) << size.name;
        EXPECT_EQ(bar.width(), size.width) << size.name;
        EXPECT_EQ(StatusProgress::progressBar()->geometry(),
                  QRect(174, 2, size.width - 174 - 2, bar.height() - 3))
            << size.name;
        EXPECT_EQ(child<QWidget>("Command1")->geometry(), QRect(8, 8, 57, 33)) << size.name;
        EXPECT_EQ(child<QWidget>("Command4")->geometry(), QRect(368, 16, 33, 25)) << size.name;
        EXPECT_EQ(child<QWidget>("L2")->geometry(), QRect(144, 24, 177, 17)) << size.name;
    }
}

TEST_F(GuiTest, OpenListsThePicturesOfTheChosenFolderAndShowsTheirCount) {
    openExamples();
    EXPECT_EQ(chooserTitle, QStringLiteral("请选择图片文件夹"));
    EXPECT_EQ(chooserStart, QCoreApplication::applicationDirPath());
    EXPECT_EQ(rows(), (std::vector<std::string>{"01-gradient.png", "02-plasma.jpg", "03-shapes.gif",
                                                "04-checker.bmp", "05-gray-ramp.png"}));
    EXPECT_EQ(part(1), QStringLiteral(" 共5幅"));

    chosen.clear();  // cancelled
    click("Command1");
    EXPECT_EQ(rows().size(), 5u);
    EXPECT_EQ(part(1), QStringLiteral(" 共5幅"));
}

TEST_F(GuiTest, MovesSwapWithTheNeighbourAndKeepTheSelection) {
    struct Move {
        const char* button;
        int presses, selected, expectedSelection;
        std::vector<std::string> expectedFirstThree;
    };
    const std::string p1 = "01-gradient.png", p2 = "02-plasma.jpg", p3 = "03-shapes.gif";
    openExamples();
    for (const Move& move :
         {Move{"Command3", 1, 1, 0, {p2, p1, p3}}, Move{"Command4", 1, 1, 2, {p1, p3, p2}},
          Move{"Command4", 2, 0, 2, {p2, p3, p1}}, Move{"Command3", 1, 0, 0, {p1, p2, p3}},
          Move{"Command4", 1, 4, 4, {p1, p2, p3}}, Move{"Command3", 1, -1, -1, {p1, p2, p3}},
          Move{"Command4", 1, -1, -1, {p1, p2, p3}}}) {
        click("Command1");  // the folder's order again
        if (move.selected >= 0) {
            list()->setCurrentRow(move.selected);
        }
        for (int i = 0; i < move.presses; ++i) {
            click(move.button);
        }
        const std::vector<std::string> now = rows();
        EXPECT_EQ(std::vector<std::string>(now.begin(), now.begin() + 3), move.expectedFirstThree)
            << move.button << " on row " << move.selected;
        EXPECT_EQ(list()->selectedItems().isEmpty() ? -1 : list()->currentRow(),
                  move.expectedSelection)
            << move.button << " on row " << move.selected;
        EXPECT_EQ(now, form->job()->entries());
    }
}

TEST_F(GuiTest, GenerateWritesThePdfWithProgressAndShowsDone) {
    openExamples();
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
    EXPECT_TRUE(watcher.messages[0].contains(QStringLiteral("x.png")))
        << watcher.messages[0].toStdString();
    EXPECT_FALSE(fs::exists(pdfPath()));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(rows(), before);
    list()->setCurrentRow(1);
    click("Command3");  // the window still works
    EXPECT_EQ(rows()[0], before[1]);
}

TEST_F(GuiTest, ClicksDuringARunAreRefused) {
    openExamples();
    QTimer::singleShot(0, [this] {
        list()->setCurrentRow(1);
        click("Command3");
        click("Command1");
        click("Command2");
    });
    ModalWatcher watcher;
    click("Command2");
    EXPECT_EQ(chooserCalls, 1);
    EXPECT_EQ(rows()[0], "01-gradient.png");
    EXPECT_TRUE(watcher.messages.empty());
    EXPECT_TRUE(fs::exists(pdfPath()));
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

TEST_F(GuiTest, UnscrambleTextTwiceGivesBackTheScrambledBytes) {
    const QByteArray scrambled("\x12\x34\x56\x78\x9a\xbc", 6);
    QByteArray bytes = scrambled;
    form->captionKey = 0x5A;
    EXPECT_EQ(form->unscrambleText(bytes), QString(QChar(0x6E48)) + QChar(0x220C) + QChar(0xE6C0));
    form->unscrambleText(bytes);
    EXPECT_EQ(bytes, scrambled);
}

TEST(StatusProgressTest, RangeAndPositionPassUnchangedAndTheBarIsRedOnWhite) {
    QWidget window;
    window.resize(300, 100);
    StatusProgress::createStatusBar(&window, StatusProgress::windowPartLayout);
    EXPECT_EQ(StatusProgress::progressBar()->geometry(), QRect(0, 0, 100, 10));
    StatusProgress::resizeStatusBar();
    StatusProgress::setStatusText(1, QStringLiteral("完成！"));
    EXPECT_EQ(StatusProgress::statusBar()->findChild<QLabel*>("part1")->frameShadow(),
              QFrame::Sunken);
    StatusProgress::setProgressRange(-5, 15);
    StatusProgress::setProgressPos(5);
    QProgressBar* bar = StatusProgress::progressBar();
    EXPECT_EQ(bar->minimum(), -5);
    EXPECT_EQ(bar->maximum(), 15);
    EXPECT_EQ(bar->value(), 5);
    const QImage picture = bar->grab().toImage();
    const int middle = picture.height() / 2;
    EXPECT_EQ(picture.pixelColor(picture.width() / 4, middle), QColor(255, 0, 0));
    EXPECT_EQ(picture.pixelColor(picture.width() * 3 / 4, middle), QColor(255, 255, 255));
    EXPECT_THROW(StatusProgress::setStatusText(4, QString()), folder2pdf::Error);
    StatusProgress::destroyStatusBar();
    EXPECT_EQ(StatusProgress::statusBar(), nullptr);
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
