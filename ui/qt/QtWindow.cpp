#include "ui/qt/QtWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <array>
#include <atomic>

#include "ui/qt/BrowseDirectorysOnly.h"
#include "ui/qt/PictureList.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowTexts.h"
#include "ui/shared/WindowToolkit.h"

namespace folder2pdf {

namespace {

// The design's face is 宋体 (SimSun). Where it is missing, a Song-style
// (serif) CJK face takes its place, then any CJK face.
QFont designFont(int tenthsOfPoints) {
    static const bool substituted = [] {
        QFont::insertSubstitutions(
            QString::fromUtf8(designFontFace),
            {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
             QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Source Han Serif SC"),
             QStringLiteral("AR PL UMing CN"), QStringLiteral("Noto Sans CJK SC"),
             QStringLiteral("WenQuanYi Zen Hei")});
        return true;
    }();
    (void)substituted;
    QFont font(QString::fromUtf8(designFontFace));
    font.setStyleHint(QFont::Serif);
    font.setPointSizeF(tenthsOfPoints / 10.0);
    font.setWeight(QFont::Bold);
    return font;
}

// File names as the engine holds them: the system's bytes.
QString fromBytes(const std::string& text) {
    return QFile::decodeName(text.c_str());
}

QRect toQRect(const Rect& place) {
    return QRect(place.left, place.top, std::max(place.width(), 0), std::max(place.height(), 0));
}

QWidget* makeControl(const ControlDesign& design, QWidget* parent) {
    const QString caption = QString::fromUtf8(design.caption);
    if (design.kind == ControlKind::List) {
        auto* list = new PictureList(parent);
        list->setFocus();
        return list;
    }
    if (design.kind == ControlKind::Button) {
        auto* button = new QPushButton(caption, parent);
        button->setAutoDefault(false);
        return button;
    }
    if (design.kind == ControlKind::ButtonWithMenu) {
        auto* button = new QToolButton(parent);
        button->setText(caption);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        button->setMenu(new QMenu(button));
        return button;
    }
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    if (design.textColor) {
        QPalette palette = label->palette();
        const Rgb& color = *design.textColor;
        palette.setColor(QPalette::WindowText, QColor(color.red, color.green, color.blue));
        label->setPalette(palette);
    }
    return label;
}

// The menu's items, each action holding its index.
void fillMenu(QMenu& menu, const std::vector<MenuItem>& items) {
    menu.clear();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].separatorBefore) {
            menu.addSeparator();
        }
        QString text = QString::fromUtf8(items[i].text);
        if (*items[i].keys != '\0') {
            // QMenu shows what follows a tab at the item's right, as a shortcut.
            text += QLatin1Char('\t') + QString::fromUtf8(items[i].keys);
        }
        QAction* action = menu.addAction(text);
        action->setCheckable(items[i].checked);
        action->setChecked(items[i].checked);
        action->setData(static_cast<int>(i));
    }
}

// A tip as QToolTip shows it: plain text keeps its line breaks; text that
// Qt would take for rich text (a path with "<") is escaped so it shows as given.
QString tipText(const QString& text) {
    if (!Qt::mightBeRichText(text)) {
        return text;
    }
    return QStringLiteral("<p style='white-space:pre'>") +
           text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")) +
           QStringLiteral("</p>");
}

QString pictureFilter(const std::vector<std::string>& patterns) {
    QStringList list;
    for (const std::string& pattern : patterns) {
        list.append(QString::fromStdString(pattern));
    }
    return QStringLiteral("%1 (%2)")
        .arg(QString::fromUtf8(picturesFilterCaption), list.join(QLatin1Char(' ')));
}

// The status area: a row of parts, each a label with its border style, laid
// out as a native status bar would; its height leaves the 300 twips the
// window keeps free below its list.
QWidget* makeStatusBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setAutoFillBackground(true);
    for (int i = 0; i < 4; ++i) {
        auto* part = new QLabel(bar);
        part->setObjectName(QStringLiteral("part%1").arg(i));
        part->setTextFormat(Qt::PlainText);
    }
    bar->setGeometry(0, 0, 0, 0);
    bar->show();
    return bar;
}

}  // namespace

class QtWindow::Toolkit : public WindowToolkit {
  public:
    explicit Toolkit(QtWindow& window) : window_(window) {}

    // Qt places widgets in device-independent pixels, 96 an inch, and scales them itself.
    int dpi() const override { return 96; }
    Size clientSize() const override { return {window_.width(), window_.height()}; }
    void setClientSize(Size size) override { window_.resize(size.width, size.height); }

    void createControl(const ControlDesign& design) override {
        QWidget* control = makeControl(design, &window_);
        control->setObjectName(QString::fromLatin1(design.name));
        if (design.fontTenths != 0) {
            control->setFont(designFont(design.fontTenths));
        }
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            connect(button, &QAbstractButton::clicked, &window_,
                    [this, id = design.id] { window_.form_->controlClicked(id); });
        }
        if (auto* button = qobject_cast<QToolButton*>(control)) {
            QMenu* menu = button->menu();
            connect(menu, &QMenu::aboutToShow, &window_,
                    [this, menu] { fillMenu(*menu, window_.form_->Command2_Menu()); });
            connect(menu, &QMenu::triggered, &window_, [this](QAction* action) {
                window_.form_->Command2_MenuClick(action->data().toInt());
            });
        } else if (design.kind == ControlKind::List) {
            connectList(*static_cast<PictureList*>(control));
        }
        controls_[static_cast<std::size_t>(design.id)] = control;
    }
    void moveControl(Control control, const Rect& place) override {
        controls_[static_cast<std::size_t>(control)]->setGeometry(toQRect(place));
    }
    void setCaption(Caption which, const std::u16string& text) override {
        const QString caption = QString::fromStdU16String(text);
        if (which == Caption::Window) {
            window_.setWindowTitle(caption);
        } else {
            label(which == Caption::L1 ? Control::L1 : Control::L2)->setText(caption);
        }
    }

    void clearRows() override { list()->clear(); }
    void addRows(const std::vector<std::string>& texts) override {
        QStringList rows;
        for (const std::string& text : texts) {
            rows.append(fromBytes(text));
        }
        list()->addRows(rows);
    }
    void setRow(int row, const std::string& text) override { list()->setRow(row, fromBytes(text)); }
    int rowCount() const override { return list()->count(); }
    std::vector<int> selectedRows() const override { return list()->selectedRows(); }
    void selectRows(const std::vector<int>& rows) override { list()->selectRows(rows); }

    void setListMode(ListMode mode, std::int32_t thumbnailSide) override {
        list()->setThumbnailSide(mode == ListMode::Thumbnails ? thumbnailSide : 0);
    }
    std::pair<int, int> visibleRows() const override { return list()->visibleRows(); }
    void setRowThumbnail(int row, const Thumbnail* thumbnail) override {
        list()->setThumbnail(row, thumbnail);
    }
    void postThumbnailsReady() override { postOnce(readyPosted_, &Form1::thumbnailsReady); }

    void setStatusParts(const std::array<std::int32_t, 4>& rightEdges) override {
        rightEdges_ = rightEdges;
    }
    void createStatusBar() override {
        statusBar_ = makeStatusBar(&window_);
        partLabel(StatusProgress::messagePart)->installEventFilter(&window_);
    }
    void setPartText(std::int32_t part, const std::string& text, std::int32_t style) override {
        QLabel* label = partLabel(part);
        label->setFrameStyle(style == StatusProgress::noBorders ? QFrame::NoFrame
                                                                : QFrame::Panel | QFrame::Sunken);
        label->setText(QString::fromUtf8(text));
    }
    Rect fitStatusBar(std::int32_t part) override {
        const int barHeight = std::max(20, statusBar_->fontMetrics().height() + 4);
        statusBar_->setGeometry(0, window_.height() - barHeight, window_.width(), barHeight);
        const Size bar{statusBar_->width(), statusBar_->height()};
        for (std::int32_t i = 0; i < 4; ++i) {
            partLabel(i)->setGeometry(toQRect(StatusProgress::partPlace(rightEdges_, i, bar)));
        }
        return StatusProgress::partPlace(rightEdges_, part, bar);
    }
    void destroyStatusBar() override { delete statusBar_; }

    void createProgressBar() override {
        // Born in the window and then moved into the bar, where (0, 0) and
        // 100 x 10 count from the bar's corner until the first refit.
        progressBar_ = new QProgressBar(&window_);
        progressBar_->setObjectName(QStringLiteral("progressBar"));
        progressBar_->setGeometry(0, 0, 100, 10);
        progressBar_->setParent(statusBar_);
        progressBar_->setTextVisible(false);
        // A style sheet, not the palette: most styles draw the bar in their
        // own accent color and ignore the palette.
        progressBar_->setStyleSheet(QStringLiteral(
            "QProgressBar { background-color: rgb(255, 255, 255); border: 1px solid "
            "rgb(160, 160, 160); } QProgressBar::chunk { background-color: rgb(255, 0, 0); }"));
        progressBar_->show();
    }
    void moveProgressBar(const Rect& place) override { progressBar_->setGeometry(toQRect(place)); }
    void setProgressRange(std::int32_t low, std::int32_t high) override {
        progressBar_->setRange(low, high);
    }
    void setProgressPos(std::int32_t position) override { progressBar_->setValue(position); }
    void destroyProgressBar() override { delete progressBar_; }

    std::string setting(const char* key) const override {
        return QFile::encodeName(settings().value(QLatin1String(key)).toString()).toStdString();
    }
    void setSetting(const char* key, const std::string& value) override {
        settings().setValue(QLatin1String(key), fromBytes(value));
    }
    int showMenu(const std::vector<MenuItem>& items, const Control* underControl) override {
        QMenu menu(&window_);
        fillMenu(menu, items);
        const QWidget* below =
            underControl ? controls_[static_cast<std::size_t>(*underControl)] : nullptr;
        const QAction* chosen =
            menu.exec(below ? below->mapToGlobal(QPoint(0, below->height())) : QCursor::pos());
        return chosen ? chosen->data().toInt() : -1;
    }
    void setDocumentTip(const std::string& path) override {
        partLabel(StatusProgress::messagePart)->setToolTip(tipText(fromBytes(path)));
    }
    void setControlTip(Control control, const std::string& tip) override {
        controls_[static_cast<std::size_t>(control)]->setToolTip(tipText(QString::fromUtf8(tip)));
    }
    void setAccessibleName(Control control, const std::string& name) override {
        controls_[static_cast<std::size_t>(control)]->setAccessibleName(QString::fromUtf8(name));
    }
    void setMinimumClientSize(Size size) override {
        window_.setMinimumSize(size.width, size.height);
    }
    void openDocument(const std::string& path) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(fromBytes(path)));
    }

    std::string chooseFolder(const std::string& title, const std::string& startFolder) override {
        const QString chosen = BrowseDirectorysOnly::browseFolder(
            &window_, QString::fromUtf8(title), fromBytes(startFolder));
        return QFile::encodeName(chosen).toStdString();
    }
    std::string chooseDocument(const std::string& title, const std::string& startPath) override {
        const QString chosen =
            QFileDialog::getSaveFileName(&window_, QString::fromUtf8(title), fromBytes(startPath),
                                         QStringLiteral("PDF (*.pdf)"));
        return QFile::encodeName(chosen).toStdString();
    }
    std::vector<std::string> choosePictures(const std::string& title,
                                            const std::string& startFolder,
                                            const std::vector<std::string>& patterns) override {
        if (window_.picturesChooser_) {
            return window_.picturesChooser_(title, startFolder, patterns);
        }
        const QStringList chosen = QFileDialog::getOpenFileNames(
            &window_, QString::fromUtf8(title), fromBytes(startFolder), pictureFilter(patterns));
        std::vector<std::string> paths;
        for (const QString& path : chosen) {
            paths.push_back(QFile::encodeName(path).toStdString());
        }
        return paths;
    }
    std::optional<std::string> askText(const std::string& prompt,
                                       const std::string& initial) override {
        bool given = false;
        const QString text =
            QInputDialog::getText(&window_, window_.windowTitle(), QString::fromUtf8(prompt),
                                  QLineEdit::Normal, QString::fromUtf8(initial), &given);
        return given ? std::optional(text.toStdString()) : std::nullopt;
    }
    std::string picturesFolder() const override {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        return !folder.isEmpty() && QFileInfo(folder).isDir()
                   ? QFile::encodeName(folder).toStdString()
                   : std::string();
    }
    void showError(const std::string& text) override {
        QMessageBox box(QMessageBox::Critical, window_.windowTitle(), QString::fromUtf8(text),
                        QMessageBox::Ok, &window_);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
    int askChoice(const std::string& text, const std::vector<std::string>& buttons) override {
        QMessageBox box(QMessageBox::Warning, window_.windowTitle(), QString::fromUtf8(text),
                        QMessageBox::NoButton, &window_);
        box.setTextFormat(Qt::PlainText);
        std::vector<QAbstractButton*> made;
        for (const std::string& caption : buttons) {
            made.push_back(
                box.addButton(QString::fromStdString(caption),
                              made.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
        }
        // Closing the box is the last button, 取消.
        box.setEscapeButton(made.back());
        box.exec();
        for (std::size_t i = 0; i < made.size(); ++i) {
            if (box.clickedButton() == made[i]) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    void setGenerateCaption(const std::string& text) override {
        if (auto* button = qobject_cast<QAbstractButton*>(
                controls_[static_cast<std::size_t>(Control::Command2)])) {
            button->setText(QString::fromStdString(text));
        }
    }
    // Posted deferred deletes are left for the main loop: one of them could
    // be a widget whose slot is on the stack below this call.
    void runPendingEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    // The close event that asked for this has hidden the window already.
    void closeWindow() override { window_.hide(); }

    PictureList* list() const { return static_cast<PictureList*>(controls_[0]); }

  private:
    void connectList(PictureList& list) {
        list.rowsDragged = [this](int row) { window_.form_->List_DragMoved(row); };
        list.filesDropped = [this](const std::vector<std::string>& paths, int row) {
            window_.form_->Form_DragDrop(paths, row);
        };
        // Later, from the event loop: a scroll comes in the middle of the
        // design's own changes to the rows, and comes by the dozen.
        list.viewChanged = [this] { postOnce(scrollPosted_, &Form1::List_Scrolled); };
        list.setContextMenuPolicy(Qt::CustomContextMenu);
        connect(&list, &QWidget::customContextMenuRequested, &window_, [this](QPoint point) {
            const QModelIndex index = this->list()->indexAt(point);
            window_.form_->List_ContextMenu(index.isValid() ? index.row() : -1);
        });
    }

    // Asks for `call` on the window's thread, from any thread; asks made
    // before it ran are one.
    void postOnce(std::atomic<bool>& posted, void (Form1::*call)()) {
        if (posted.exchange(true)) {
            return;
        }
        QMetaObject::invokeMethod(
            &window_,
            [this, &posted, call] {
                posted.store(false);
                if (window_.form_) {
                    (window_.form_.get()->*call)();
                }
            },
            Qt::QueuedConnection);
    }

    static QSettings settings() {
        return QSettings(QStringLiteral("folder2pdf"), QStringLiteral("folder2pdf-gui"));
    }

    QLabel* label(Control control) const {
        return static_cast<QLabel*>(controls_[static_cast<std::size_t>(control)]);
    }
    QLabel* partLabel(std::int32_t part) const {
        return statusBar_->findChild<QLabel*>(QStringLiteral("part%1").arg(part));
    }

    QtWindow& window_;
    std::array<QWidget*, controlCount> controls_{};
    std::array<std::int32_t, 4> rightEdges_{};
    QPointer<QWidget> statusBar_;
    QPointer<QProgressBar> progressBar_;
    std::atomic<bool> readyPosted_{false};
    std::atomic<bool> scrollPosted_{false};
};

QtWindow::QtWindow(QWidget* parent) : QWidget(parent), toolkit_(std::make_unique<Toolkit>(*this)) {
    setObjectName(QStringLiteral("Form1"));
    setAcceptDrops(true);
    setWindowIcon(QIcon(QStringLiteral(":/icons/folder2pdf-gui.png")));
    form_ = std::make_unique<Form1>(*toolkit_);
    createShortcuts();
}

void QtWindow::createShortcuts() {
    struct Binding {
        Qt::Key qtKey;
        Key key;
        bool ctrl, shift;
    };
    static constexpr Binding windowKeys[] = {
        {Qt::Key_O, Key::O, true, false},
        {Qt::Key_O, Key::O, true, true},
        {Qt::Key_S, Key::S, true, false},
        {Qt::Key_R, Key::R, true, false},
        {Qt::Key_L, Key::L, true, false},
        {Qt::Key_Z, Key::Z, true, false},
        {Qt::Key_T, Key::T, true, false},
        {Qt::Key_Up, Key::Up, true, false},
        {Qt::Key_Down, Key::Down, true, false},
        {Qt::Key_Escape, Key::Escape, false, false},
        {Qt::Key_Delete, Key::Delete, false, false},
    };
    // Shortcuts, not key presses: they come whichever control has the
    // focus, also while a run lets the window's events through.
    for (const Binding& binding : windowKeys) {
        Qt::KeyboardModifiers modifiers;
        modifiers.setFlag(Qt::ControlModifier, binding.ctrl);
        modifiers.setFlag(Qt::ShiftModifier, binding.shift);
        const bool onList = binding.key == Key::Delete;
        auto* shortcut = new QShortcut(QKeySequence(QKeyCombination(modifiers, binding.qtKey)),
                                       onList ? static_cast<QWidget*>(toolkit_->list()) : this);
        shortcut->setContext(onList ? Qt::WidgetWithChildrenShortcut : Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this,
                [this, binding] { form_->Form_KeyDown(binding.key, binding.ctrl, binding.shift); });
    }
}

QtWindow::~QtWindow() {
    form_.reset();
}

void QtWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (form_) {
        form_->Form_Resize();
    }
}

bool QtWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick &&
        watched->objectName() == QStringLiteral("part%1").arg(StatusProgress::messagePart)) {
        form_->StatusBar_DblClick(StatusProgress::messagePart);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void QtWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void QtWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
        }
    }
    event->acceptProposedAction();
    form_->Form_DragDrop(paths);
}

void QtWindow::closeEvent(QCloseEvent* event) {
    // Never refused; during a command the window hides and goes once it returns.
    event->accept();
    form_->Form_QueryUnload();
}

}  // namespace folder2pdf
