#include "ui/shared/Form1.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Path.h"
#include "common/System.h"
#include "common/Text.h"
#include "job/FolderListing.h"
#include "ui/shared/Captions.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowTexts.h"
#include "ui/shared/WindowToolkit.h"
#include "ui/shared/myCode.h"

namespace folder2pdf {

namespace {

constexpr const char* lastFolderKey = "lastFolder";
constexpr const char* paperKey = "paper";
constexpr const char* compressionKey = "compression";
constexpr const char* colorKey = "color";
constexpr const char* orderKey = "order";
constexpr const char* reverseKey = "reverse";
constexpr const char* viewKey = "view";
constexpr const char* maxSizeKey = "maxSize";
constexpr const char* thumbnailsView = "thumbnails";

// The list menu's items before the orders: what its clicks do. After the
// orders come 倒序, 添加图片…, 缩略图 and 列表.
enum ListItem { TurnRight, TurnLeft, Remove, Undo, FirstOrder };
enum ListItemAfterOrders { Reverse, AddPictures, Thumbnails, Names };

// The command line's option for 大小上限.
const CommandOption& maxSizeOption() {
    for (const CommandOption& option : commandOptions()) {
        if (std::string_view(option.name) == "--max-size") {
            return option;
        }
    }
    throw std::logic_error("no --max-size option");
}

// `size` as --max-size takes it: "" when it does, else why not.
std::string maxSizeProblem(const std::string& size) {
    CommandLine line;
    return maxSizeOption().apply(line, size);
}

// A choice remembered as its index; anything else is the first choice.
std::size_t rememberedChoice(const std::string& text, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (text == std::to_string(i)) {
            return i;
        }
    }
    return 0;
}

// The command line `choice` stands for, applied to `line`.
void withChoiceOn(CommandLine& line, const WindowChoice& choice) {
    if (choice.option) {
        choice.option->apply(line, choice.value);
    }
}

// A document's name without its extension: what its title says.
std::string stemOf(const std::string& name) {
    return name.substr(0, name.rfind('.'));
}

}  // namespace

Form1::Form1(WindowToolkit& toolkit) : toolkit_(toolkit) {
    createControls();
    Form_Load();
    for (const ControlDesign& design : controlDesigns) {
        toolkit_.setControlTip(design.id, controlTip(design.id));
        toolkit_.setAccessibleName(design.id, accessibleName(design.id));
    }
    toolkit_.setClientSize(designClientSize(toolkit_.dpi()));
    Form_Resize();
    if (toolkit_.setting(viewKey) == thumbnailsView) {
        setListMode(ListMode::Thumbnails);
    }
}

Form1::~Form1() {
    Form_Unload();
}

void Form1::createControls() {
    for (const ControlDesign& design : controlDesigns) {
        toolkit_.createControl(design);
    }
    placeControls();
}

void Form1::placeControls() {
    for (const ControlDesign& design : controlDesigns) {
        toolkit_.moveControl(design.id, designPlace(design, toolkit_.dpi()));
    }
    toolkit_.setMinimumClientSize(minimumClientSize(toolkit_.dpi()));
}

void Form1::Form_Load() {
    myCode::checkStartup();
    StatusProgress::createStatusBar(toolkit_, StatusProgress::windowPartLayout);
    StatusProgress::setStatusText(StatusProgress::infoPart, StatusProgress::infoLabel);
    StatusProgress::setStatusText(StatusProgress::progressLabelPart, StatusProgress::progressLabel);
    job_ = std::make_unique<FolderJob>(*this, programFolder());
    job_->setWorkers(defaultWorkers());
    paperChoices_ = windowChoices(WindowGroup::Paper, ownSizeChoice);
    compressionChoices_ = windowChoices(WindowGroup::Compression, losslessChoice);
    paper_ = rememberedChoice(toolkit_.setting(paperKey), paperChoices_.size());
    compression_ = rememberedChoice(toolkit_.setting(compressionKey), compressionChoices_.size());
    colorChoices_ = windowChoices(WindowGroup::Color, grayChoice);
    color_ = rememberedChoice(toolkit_.setting(colorKey), colorChoices_.size());
    orderChoices_ = windowChoices(WindowGroup::Order, nameOrderChoice);
    order_ = rememberedChoice(toolkit_.setting(orderKey), orderChoices_.size());
    reverse_ = toolkit_.setting(reverseKey) == "1";
    maxSize_ = toolkit_.setting(maxSizeKey);
    if (!maxSize_.empty() && !maxSizeProblem(maxSize_).empty()) {
        maxSize_.clear();
    }
    for (const ScrambledCaption& caption : scrambledCaptions) {
        std::vector<std::uint8_t> bytes(caption.bytes.begin(), caption.bytes.end());
        toolkit_.setCaption(caption.which, unscrambleText(bytes, caption.key));
    }
}

void Form1::Form_Resize() {
    toolkit_.moveControl(Control::List, listPlace(toolkit_.clientSize(), toolkit_.dpi()));
    StatusProgress::resizeStatusBar();
}

bool Form1::Form_QueryUnload() {
    if (running_) {
        closePending_ = true;
        if (job_) {
            job_->requestStop();
        }
        return false;
    }
    Form_Unload();
    return true;
}

void Form1::Form_Unload() {
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    // Its workers go before the window they notify.
    thumbnails_.reset();
    StatusProgress::destroyStatusBar();
    job_.reset();
}

void Form1::Command1_Click() {
    runCommand([this](FolderJob& job) {
        job.openFolder();
        sortAsChosen(job);
    });
}

void Form1::rememberOpened(const std::string& before) {
    if (job_ && !job_->folder().empty() && job_->folder() != before) {
        toolkit_.setSetting(lastFolderKey, job_->folder());
    }
}

void Form1::Command2_Click() {
    // During a run 生成 reads 停止: the click stops it.
    if (running_ && job_ && job_->running()) {
        job_->requestStop();
        return;
    }
    runCommand([this](FolderJob& job) {
        if (!mayReplace(job)) {
            return;
        }
        job.setDocumentOptions(chosenOptions(job));
        toolkit_.setGenerateCaption(stopCaption);
        struct Caption {
            WindowToolkit& toolkit;
            ~Caption() { toolkit.setGenerateCaption(designOf(Control::Command2).caption); }
        } restore{toolkit_};
        job.generate();
    });
}

bool Form1::mayReplace(FolderJob& job) {
    // A folder's document holds the folder's pictures: a list of some of
    // them, dropped, must not replace it unasked, unless this window wrote it.
    const std::string document = job.outputPath();
    if (job.listsWholeFolder() || !fileIdentity(document) || written_.count(document) > 0) {
        return true;
    }
    switch (toolkit_.askChoice(replaceQuestion(shownFile(document)),
                               {replaceCaption, saveAsCaption, cancelCaption})) {
        case 0:
            return true;
        case 1: {
            const std::string chosen = toolkit_.chooseDocument(saveAsTitle, document);
            if (chosen.empty()) {
                return false;
            }
            job.setDocument(chosen);
            return true;
        }
        default:
            return false;
    }
}

void Form1::Form_Escape() {
    if (job_ && job_->running()) {
        job_->requestStop();
    }
}

DocumentOptions Form1::chosenOptions(const FolderJob& job) const {
    DocumentOptions options =
        withChoice(withChoice({}, paperChoices_[paper_]), colorChoices_[color_]);
    // 大小上限 chooses the compression itself.
    if (maxSize_.empty()) {
        options = withChoice(options, compressionChoices_[compression_]);
    } else {
        CommandLine line;
        line.document = options;
        maxSizeOption().apply(line, maxSize_);
        options = line.document;
    }
    // A document made other than the program always made it says what it
    // holds: its folder's name.
    if (paper_ != 0 || compression_ != 0 || color_ != 0 || !maxSize_.empty()) {
        options.title = stemOf(nameOf(job.outputPath()));
    }
    return options;
}

void Form1::Command2_DropDown() {
    const Control button = Control::Command2;
    Command2_MenuClick(toolkit_.showMenu(Command2_Menu(), &button));
}

std::vector<MenuItem> Form1::Command2_Menu() const {
    std::vector<MenuItem> items;
    for (std::size_t i = 0; i < paperChoices_.size(); ++i) {
        items.push_back({paperChoices_[i].label, i == paper_, false});
    }
    for (std::size_t i = 0; i < compressionChoices_.size(); ++i) {
        items.push_back({compressionChoices_[i].label, maxSize_.empty() && i == compression_,
                         i == 0});
    }
    items.push_back(
        {maxSize_.empty() ? maxSizeCaption : maxSizeChosenCaption(maxSize_), !maxSize_.empty()});
    for (std::size_t i = 0; i < colorChoices_.size(); ++i) {
        items.push_back({colorChoices_[i].label, i == color_, i == 0});
    }
    return items;
}

void Form1::Command2_MenuClick(int index) {
    const auto choice = static_cast<std::size_t>(index);
    const std::size_t maxSizeItem = paperChoices_.size() + compressionChoices_.size();
    const std::size_t colorsFrom = maxSizeItem + 1;
    if (index < 0 || choice >= colorsFrom + colorChoices_.size()) {
        return;
    }
    if (choice < paperChoices_.size()) {
        paper_ = choice;
        toolkit_.setSetting(paperKey, std::to_string(paper_));
    } else if (choice < maxSizeItem) {
        compression_ = choice - paperChoices_.size();
        toolkit_.setSetting(compressionKey, std::to_string(compression_));
        maxSize_.clear();
        toolkit_.setSetting(maxSizeKey, "");
    } else if (choice == maxSizeItem) {
        askMaxSize();
    } else {
        color_ = choice - colorsFrom;
        toolkit_.setSetting(colorKey, std::to_string(color_));
        showThumbnails(true);
    }
}

void Form1::askMaxSize() {
    std::string initial = maxSize_.empty() ? "5MB" : maxSize_;
    while (const std::optional<std::string> given = toolkit_.askText(maxSizePrompt, initial)) {
        const std::string problem = maxSizeProblem(*given);
        if (problem.empty()) {
            maxSize_ = *given;
            toolkit_.setSetting(maxSizeKey, maxSize_);
            return;
        }
        toolkit_.showError(problem);
        initial = *given;
    }
}

void Form1::List_ContextMenu(int row) {
    if (row >= 0 && row < toolkit_.rowCount()) {
        const std::vector<int> selected = toolkit_.selectedRows();
        if (std::find(selected.begin(), selected.end(), row) == selected.end()) {
            toolkit_.selectRows({row});
        }
    }
    List_MenuClick(toolkit_.showMenu(List_Menu(), nullptr));
}

std::vector<MenuItem> Form1::List_Menu() const {
    std::vector<MenuItem> items{{turnRightCaption, false, false, "Ctrl+R"},
                                {turnLeftCaption, false, false, "Ctrl+L"},
                                {removeCaption, false, false, "Delete"},
                                {undoCaption, false, true, "Ctrl+Z"}};
    for (std::size_t i = 0; i < orderChoices_.size(); ++i) {
        items.push_back({orderChoices_[i].label, i == order_, i == 0});
    }
    items.push_back({reverseCaption, reverse_, false});
    items.push_back({addPicturesCaption, false, true, "Ctrl+Shift+O"});
    items.push_back({thumbnailsCaption, listMode_ == ListMode::Thumbnails, true, "Ctrl+T"});
    items.push_back({namesCaption, listMode_ == ListMode::Names, false, "Ctrl+T"});
    return items;
}

void Form1::List_MenuClick(int index) {
    const auto orders = static_cast<int>(orderChoices_.size());
    switch (index) {
        case TurnRight:
            return runCommand([](FolderJob& job) { job.turnSelected(1); });
        case TurnLeft:
            return runCommand([](FolderJob& job) { job.turnSelected(-1); });
        case Remove:
            return List_Remove();
        case Undo:
            return runCommand([](FolderJob& job) { job.undo(); });
        default:
            break;
    }
    switch (index - FirstOrder - orders) {
        case AddPictures:
            return addPictures();
        case Thumbnails:
            return setListMode(ListMode::Thumbnails);
        case Names:
            return setListMode(ListMode::Names);
        default:
            break;
    }
    if (index < FirstOrder || index > FirstOrder + orders || running_) {
        return;
    }
    if (index == FirstOrder + orders + Reverse) {
        reverse_ = !reverse_;
    } else {
        order_ = static_cast<std::size_t>(index - FirstOrder);
    }
    toolkit_.setSetting(orderKey, std::to_string(order_));
    toolkit_.setSetting(reverseKey, reverse_ ? "1" : "0");
    runCommand([this](FolderJob& job) {
        CommandLine line;
        withChoiceOn(line, orderChoices_[order_]);
        job.sortEntries(line.sort, reverse_);
    });
}

void Form1::sortAsChosen(FolderJob& job) {
    // A list just made has nothing to undo; one kept by a cancelled
    // choice is in the order chosen already.
    if ((order_ != 0 || reverse_) && !job.canUndo()) {
        CommandLine line;
        withChoiceOn(line, orderChoices_[order_]);
        job.sortEntries(line.sort, reverse_);
    }
}

void Form1::Command3_Click() {
    runCommand(&FolderJob::moveUp);
}

void Form1::Command4_Click() {
    runCommand(&FolderJob::moveDown);
}

void Form1::List_Remove() {
    runCommand(&FolderJob::removeEntry);
}

void Form1::Form_DragDrop(const std::vector<std::string>& paths, int row) {
    if (paths.size() == 1 && isFolder(paths.front())) {
        openGivenFolder(paths.front());
    } else if (!paths.empty() && row >= 0 && toolkit_.rowCount() > 0) {
        runCommand([&](FolderJob& job) { job.insertPictures(paths, row); });
    } else if (!paths.empty()) {
        runCommand([&](FolderJob& job) { openDroppedFiles(job, paths); });
    }
}

void Form1::List_DragMoved(int row) {
    runCommand([row](FolderJob& job) { job.moveSelectedTo(row); });
}

void Form1::addPictures() {
    if (running_ || !job_) {
        return;
    }
    std::string start = job_->folder();
    if (start.empty()) {
        start = toolkit_.setting(lastFolderKey);
    }
    if (start.empty() || !isFolder(start)) {
        start = toolkit_.picturesFolder();
    }
    const std::vector<std::string> paths =
        toolkit_.choosePictures(addPicturesTitle, start, picturePatterns());
    if (paths.empty()) {
        return;
    }
    runCommand([&](FolderJob& job) {
        const std::vector<int> selected = toolkit_.selectedRows();
        job.insertPictures(paths, selected.empty() ? toolkit_.rowCount() : selected.back() + 1);
    });
}

void Form1::openGivenPaths(const std::vector<std::string>& paths) {
    Form_DragDrop(paths);
}

bool Form1::Form_KeyDown(Key key, bool ctrl, bool shift) {
    if (key == Key::Escape) {
        Form_Escape();
        return true;
    }
    if (key == Key::Delete) {
        List_Remove();
        return true;
    }
    if (!ctrl) {
        return false;
    }
    switch (key) {
        case Key::O:
            shift ? addPictures() : Command1_Click();
            return true;
        case Key::S:
            Command2_Click();
            return true;
        case Key::Up:
            Command3_Click();
            return true;
        case Key::Down:
            Command4_Click();
            return true;
        case Key::R:
            List_MenuClick(TurnRight);
            return true;
        case Key::L:
            List_MenuClick(TurnLeft);
            return true;
        case Key::Z:
            List_MenuClick(Undo);
            return true;
        case Key::T:
            setListMode(listMode_ == ListMode::Names ? ListMode::Thumbnails : ListMode::Names);
            return true;
        default:
            return false;
    }
}

void Form1::setListMode(ListMode mode) {
    if (unloaded_) {
        return;
    }
    listMode_ = mode;
    toolkit_.setSetting(viewKey, mode == ListMode::Thumbnails ? thumbnailsView : "list");
    const std::int32_t side = thumbnailSide(toolkit_.dpi());
    if (mode == ListMode::Thumbnails && !thumbnails_) {
        ThumbnailSettings settings;
        settings.box = side;
        settings.notify = [this] { toolkit_.postThumbnailsReady(); };
        thumbnails_ = std::make_unique<ThumbnailCache>(std::move(settings));
    }
    toolkit_.setListMode(mode, side);
    if (mode == ListMode::Names && thumbnails_) {
        // The names alone: the workers stop making the rest of the list's thumbnails.
        thumbnails_->want({});
    }
    showThumbnails(true);
}

void Form1::List_Scrolled() {
    showThumbnails(true);
}

void Form1::thumbnailsReady() {
    showThumbnails(false);
}

std::vector<ThumbnailKey> Form1::rowKeys() const {
    std::vector<ThumbnailKey> keys;
    if (job_) {
        const bool color = color_ != 0;
        for (const Picture& picture : job_->plan().pictures) {
            keys.push_back({picture.path, picture.page, picture.quarterTurns, color});
        }
    }
    return keys;
}

void Form1::showThumbnails(bool want) {
    if (listMode_ != ListMode::Thumbnails || !thumbnails_ || unloaded_) {
        return;
    }
    flushRows();
    const std::vector<ThumbnailKey> keys = rowKeys();
    const int rows = std::min(static_cast<int>(keys.size()), toolkit_.rowCount());
    auto [first, end] = toolkit_.visibleRows();
    first = std::clamp(first, 0, rows);
    end = std::clamp(end, first, rows);
    if (want) {
        // The rows in view, then those after them, then those before.
        std::vector<ThumbnailKey> wanted(keys.begin() + first, keys.begin() + rows);
        wanted.insert(wanted.end(), keys.begin(), keys.begin() + first);
        thumbnails_->want(std::move(wanted));
    } else {
        thumbnails_->takeReady();
    }
    for (int row = first; row < end; ++row) {
        const std::shared_ptr<const Thumbnail> thumbnail =
            thumbnails_->find(keys[static_cast<std::size_t>(row)]);
        toolkit_.setRowThumbnail(row, thumbnail && !thumbnail->failed() ? thumbnail.get() : nullptr);
    }
}

void Form1::openDroppedFiles(FolderJob& job, const std::vector<std::string>& paths) {
    // Explorer and file managers drag from one folder at a time; files of
    // any other folder are left out.
    const std::string folder = folderOf(paths.front());
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        if (folderOf(path) == folder) {
            names.push_back(nameOf(path));
        }
    }
    job.openFolderFiles(folder, names);
    sortAsChosen(job);
}

void Form1::openGivenFolder(const std::string& folder) {
    givenFolder_ = folder;
    Command1_Click();
    givenFolder_.clear();
}

void Form1::StatusBar_DblClick(std::int32_t part) {
    if (part == StatusProgress::messagePart && !documentPath_.empty()) {
        toolkit_.openDocument(documentPath_);
    }
}

void Form1::controlClicked(Control control) {
    switch (control) {
        case Control::Command1:
            return Command1_Click();
        case Control::Command2:
            return Command2_Click();
        case Control::Command3:
            return Command3_Click();
        case Control::Command4:
            return Command4_Click();
        default:
            return;
    }
}

void Form1::runCommand(const std::function<void(FolderJob&)>& command) {
    if (running_ || !job_) {
        return;
    }
    running_ = true;
    const std::string before = job_->folder();
    try {
        command(*job_);
        rememberOpened(before);
    } catch (const std::exception& error) {
        if (!closePending_) {
            reportError(error, command);
        }
    }
    running_ = false;
    if (closePending_) {
        Form_Unload();
        toolkit_.closeWindow();
        return;
    }
    showThumbnails(true);
}

void Form1::reportError(const std::exception& error,
                        const std::function<void(FolderJob&)>& command) {
    // A document held by another program (a PDF reader, mostly) before the
    // run began: the user may close that program and have the command again.
    const auto* engine = dynamic_cast<const Error*>(&error);
    if (engine && engine->reason() == ErrorReason::InUse && job_ && !job_->replacePending()) {
        if (toolkit_.askChoice(boxText(errorText(error)), {retryCaption, cancelCaption}) == 0) {
            try {
                command(*job_);
            } catch (const std::exception& again) {
                reportError(again, command);
            }
        }
        return;
    }
    // A document held once every page is done: the user may close that
    // program and have only the replace done again, or give the new
    // document up.
    std::string text = boxText(errorText(error));
    while (job_ && job_->replacePending()) {
        if (toolkit_.askChoice(text, {retryCaption, cancelCaption}) != 0) {
            job_->abandonDocument();
            return;
        }
        try {
            job_->retryReplace();
            return;
        } catch (const std::exception& again) {
            text = boxText(errorText(again));
        }
    }
    toolkit_.showError(text);
}

std::string Form1::chooseFolder(const std::string& startFolder) {
    flushRows();
    if (!givenFolder_.empty()) {
        return std::exchange(givenFolder_, {});
    }
    // The folder opened last, while it is there.
    const std::string remembered = toolkit_.setting(lastFolderKey);
    std::string start = !remembered.empty() && isFolder(remembered) ? remembered : std::string();
    if (start.empty()) {
        // A first start: where people keep pictures, not the program's folder.
        start = toolkit_.picturesFolder();
        if (start.empty() || !isFolder(start)) {
            start = startFolder;
        }
    }
    return folderChooser_ ? folderChooser_(folderPrompt(), start)
                          : toolkit_.chooseFolder(folderPrompt(), start);
}

void Form1::clearEntries() {
    rows_.clear();
    toolkit_.clearRows();
}

void Form1::addEntry(const std::string& text) {
    rows_.push_back(text);
}

void Form1::flushRows() {
    if (!rows_.empty()) {
        toolkit_.addRows(rows_);
        rows_.clear();
    }
}

void Form1::setEntry(int row, const std::string& text) {
    flushRows();
    if (row >= 0 && row < toolkit_.rowCount()) {
        toolkit_.setRow(row, text);
    }
}

int Form1::selectedEntry() {
    flushRows();
    const std::vector<int> rows = toolkit_.selectedRows();
    return rows.empty() ? -1 : rows.front();
}

void Form1::selectEntry(int row) {
    flushRows();
    if (row >= 0 && row < toolkit_.rowCount()) {
        toolkit_.selectRows({row});
    }
}

std::vector<int> Form1::selectedEntries() {
    flushRows();
    return toolkit_.selectedRows();
}

void Form1::selectEntries(const std::vector<int>& rows) {
    flushRows();
    std::vector<int> existing;
    for (const int row : rows) {
        if (row >= 0 && row < toolkit_.rowCount()) {
            existing.push_back(row);
        }
    }
    toolkit_.selectRows(existing);
}

void Form1::showMessage(JobMessage message, std::int32_t count) {
    flushRows();
    std::string text = messageText(message, count);
    if (message == JobMessage::Count && job_ && !job_->leftOut().empty()) {
        text += leftOutText(job_->leftOut().size());
    }
    StatusProgress::setStatusText(StatusProgress::messagePart, text);
    // After a run that wrote the document, the message part tells where.
    documentPath_ = message == JobMessage::Done && job_ ? job_->outputPath() : std::string();
    if (!documentPath_.empty()) {
        written_.insert(documentPath_);
    }
    toolkit_.setDocumentTip(wrappedTip(documentPath_, 80));
}

std::string Form1::turnedRow(const std::string& text, int quarterTurns) {
    return text + "（旋转" + std::to_string(quarterTurns * 90) + "°）";
}

std::string Form1::severalPagesRow(const std::string& name, std::size_t pages) {
    return name + "（" + std::to_string(pages) + "页）";
}

std::optional<FailureAnswer> Form1::askAboutPicture(const Error& error) {
    flushRows();
    switch (toolkit_.askChoice(boxText(errorText(error)),
                               {retryCaption, skipCaption, cancelCaption})) {
        case 0:
            return FailureAnswer::Retry;
        case 1:
            return FailureAnswer::Skip;
        default:
            return FailureAnswer::Stop;
    }
}

void Form1::showProgressRange(std::int32_t low, std::int32_t high) {
    StatusProgress::setProgressRange(low, high);
}

void Form1::showProgress(std::int32_t position) {
    StatusProgress::setProgressPos(position);
}

void Form1::runPendingEvents() {
    flushRows();
    toolkit_.runPendingEvents();
}

}  // namespace folder2pdf
