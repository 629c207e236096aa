#include "ui/qt/Form1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>
#include <exception>

#include "common/Error.h"
#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/StatusProgress.h"
#include "ui/shared/WindowTexts.h"

namespace folder2pdf {

namespace {

// The window's design measures in twips; 15 twips make one
// device-independent pixel (1440 twips an inch at 96 pixels an inch).
// Edges are rounded to the nearest pixel, not sizes, so that controls
// designed edge to edge stay edge to edge.
constexpr int twipsPerPixel = 15;

constexpr int twipsToPixels(int twips) {
    return twips >= 0 ? (twips + twipsPerPixel / 2) / twipsPerPixel
                      : -((-twips + twipsPerPixel / 2) / twipsPerPixel);
}

QRect designRect(int left, int top, int width, int height) {
    const int x = twipsToPixels(left);
    const int y = twipsToPixels(top);
    return QRect(x, y, twipsToPixels(left + width) - x, twipsToPixels(top + height) - y);
}

constexpr int clientWidthTwips = 6120;
constexpr int clientHeightTwips = 3240;
constexpr int listTopTwips = 700;
constexpr int listHeightLessTwips = 1000;

// The design's face is 宋体 (SimSun). Where it is missing, a Song-style
// (serif) CJK face takes its place, then any CJK face.
QFont songFont(qreal points) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QStringLiteral("宋体"),
            {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
             QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
             QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC"),
             QStringLiteral("WenQuanYi Zen Hei")});
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("宋体"));
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Bold);
    return font;
}

QLabel* coloredLabel(QWidget* parent, const QColor& color) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(songFont(10.5));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QString fromBytes(const std::string& text) {
    return QFile::decodeName(text.c_str());
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent), folderChooser_(BrowseDirectorysOnly::browseFolder) {
    createControls();
    Form_Load();
    resize(twipsToPixels(clientWidthTwips), twipsToPixels(clientHeightTwips));
}

Form1::~Form1() {
    Form_Unload();
}

void Form1::setFolderChooser(FolderChooser chooser) {
    folderChooser_ = std::move(chooser);
}

void Form1::createControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/folder2pdf-gui.png")));

    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("List"));
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setGeometry(designRect(120, 1080, 4695, 1320));

    const auto button = [this](const char* name, const QString& caption, qreal points,
                               const QRect& rect, void (Form1::*handler)()) {
        auto* command = new QPushButton(caption, this);
        command->setObjectName(QString::fromLatin1(name));
        command->setFont(songFont(points));
        command->setGeometry(rect);
        command->setAutoDefault(false);
        connect(command, &QPushButton::clicked, this, handler);
        return command;
    };
    Command1 = button("Command1", QStringLiteral("打开"), 10.5, designRect(120, 120, 855, 495),
                      &Form1::Command1_Click);
    Command2 = button("Command2", QStringLiteral("生成"), 10.5, designRect(1200, 120, 855, 495),
                      &Form1::Command2_Click);
    Command3 = button("Command3", QStringLiteral("↑"), 9, designRect(4920, 240, 495, 375),
                      &Form1::Command3_Click);
    Command4 = button("Command4", QStringLiteral("↓"), 9, designRect(5520, 240, 495, 375),
                      &Form1::Command4_Click);

    L1 = coloredLabel(this, QColor(192, 64, 0));
    L1->setObjectName(QStringLiteral("L1"));
    L1->setGeometry(designRect(2400, 80, 2175, 255));
    L2 = coloredLabel(this, QColor(0, 128, 0));
    L2->setObjectName(QStringLiteral("L2"));
    L2->setGeometry(designRect(2160, 360, 2655, 255));

    setTabOrder(List, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    List->setFocus();
}

void Form1::Form_Load() {
    loadWindow(*this);
}

void Form1::createStatusBar(const PartLayoutTable& table) {
    StatusProgress::createStatusBar(this, table);
}

void Form1::setStatusText(std::int32_t part, std::u16string_view text) {
    StatusProgress::setStatusText(part, QString::fromUtf16(text.data(), text.size()));
}

void Form1::createJob() {
    job_ = std::make_unique<FolderJob>(
        *this, QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    job_->setWorkers(folder2pdf::defaultWorkers());
}

void Form1::setCaption(Caption which, const std::u16string& text) {
    const QString caption = QString::fromStdU16String(text);
    switch (which) {
        case Caption::Window:
            setWindowTitle(caption);
            break;
        case Caption::L1:
            L1->setText(caption);
            break;
        case Caption::L2:
            L2->setText(caption);
            break;
    }
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize() {
    // The list's bottom edge lies 1000 twips above the client area's, but
    // never above its top edge (a window less than 1000 twips high).
    const int top = twipsToPixels(listTopTwips);
    const int heightTwips = std::max(0, height() * twipsPerPixel - listHeightLessTwips);
    const int bottom = twipsToPixels(listTopTwips + heightTwips);
    List->setGeometry(0, top, width(), bottom - top);
    StatusProgress::resizeStatusBar();
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    if (commands_.running()) {
        commands_.closeDuringCommand(job_.get());
        return;
    }
    Form_Unload();
}

void Form1::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    StatusProgress::destroyStatusBar();
    job_.reset();
}

void Form1::Command1_Click() {
    runCommand(&FolderJob::openFolder);
}

void Form1::Command2_Click() {
    runCommand(&FolderJob::generate);
}

void Form1::Command3_Click() {
    runCommand(&FolderJob::moveUp);
}

void Form1::Command4_Click() {
    runCommand(&FolderJob::moveDown);
}

void Form1::runCommand(void (FolderJob::*command)()) {
    const auto report = [this](const ErrorText& text) { reportError(text); };
    if (job_ && commands_.run(*job_, command, report)) {
        Form_Unload();
    }
}

void Form1::reportError(const ErrorText& text) {
    QMessageBox box(QMessageBox::Critical, windowTitle(), QString::fromUtf8(boxText(text)),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::string Form1::chooseFolder(const std::string& startFolder) {
    const QString chosen =
        folderChooser_(this, QString::fromUtf8(folderPrompt()), fromBytes(startFolder));
    return QFile::encodeName(chosen).toStdString();
}

void Form1::clearEntries() {
    List->clear();
}

void Form1::addEntry(const std::string& text) {
    List->addItem(fromBytes(text));
}

void Form1::setEntry(int row, const std::string& text) {
    if (QListWidgetItem* item = List->item(row)) {
        item->setText(fromBytes(text));
    }
}

int Form1::selectedEntry() {
    const QList<QListWidgetItem*> selected = List->selectedItems();
    return selected.isEmpty() ? -1 : List->row(selected.first());
}

void Form1::selectEntry(int row) {
    List->setCurrentRow(row);
}

void Form1::showMessage(JobMessage message, std::int32_t count) {
    StatusProgress::setStatusText(1, QString::fromStdString(messageText(message, count)));
}

void Form1::showProgressRange(std::int32_t low, std::int32_t high) {
    StatusProgress::setProgressRange(low, high);
}

void Form1::showProgress(std::int32_t position) {
    StatusProgress::setProgressPos(position);
}

void Form1::runPendingEvents() {
    // Posted deferred deletes are left for the main loop: one of them could
    // be a widget whose slot is on the stack below this call.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace folder2pdf
