#include "ui/shared/Form1.h"

#include <exception>
#include <utility>
#include <vector>

#include "common/Path.h"
#include "common/System.h"
#include "common/Text.h"
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

// The list menu's items before the orders: what its clicks do.
enum ListItem { TurnRight, TurnLeft, Remove, Undo, FirstOrder };

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
    toolkit_.setClientSize(designClientSize(toolkit_.dpi()));
    Form_Resize();
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
        withChoice(withChoice(withChoice({}, paperChoices_[paper_]),
                              compressionChoices_[compression_]),
                   colorChoices_[color_]);
    // A document made other than the program always made it says what it
    // holds: its folder's name.
    if (paper_ != 0 || compression_ != 0 || color_ != 0) {
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
        items.push_back({compressionChoices_[i].label, i == compression_, i == 0});
    }
    for (std::size_t i = 0; i < colorChoices_.size(); ++i) {
        items.push_back({colorChoices_[i].label, i == color_, i == 0});
    }
    return items;
}

void Form1::Command2_MenuClick(int index) {
    const auto choice = static_cast<std::size_t>(index);
    const std::size_t colorsFrom = paperChoices_.size() + compressionChoices_.size();
    if (index < 0 || choice >= colorsFrom + colorChoices_.size()) {
        return;
    }
    if (choice < paperChoices_.size()) {
        paper_ = choice;
        toolkit_.setSetting(paperKey, std::to_string(paper_));
    } else if (choice < colorsFrom) {
        compression_ = choice - paperChoices_.size();
        toolkit_.setSetting(compressionKey, std::to_string(compression_));
    } else {
        color_ = choice - colorsFrom;
        toolkit_.setSetting(colorKey, std::to_string(color_));
    }
}

void Form1::List_ContextMenu() {
    List_MenuClick(toolkit_.showMenu(List_Menu(), nullptr));
}

std::vector<MenuItem> Form1::List_Menu() const {
    std::vector<MenuItem> items{{turnRightCaption},
                                {turnLeftCaption},
                                {removeCaption},
                                {undoCaption, false, true}};
    for (std::size_t i = 0; i < orderChoices_.size(); ++i) {
        items.push_back({orderChoices_[i].label, i == order_, i == 0});
    }
    items.push_back({reverseCaption, reverse_, false});
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
    if (index < FirstOrder || index > FirstOrder + orders || running_) {
        return;
    }
    if (index == FirstOrder + orders) {
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

void Form1::Form_DragDrop(const std::vector<std::string>& paths) {
    if (paths.size() == 1 && isFolder(paths.front())) {
        openGivenFolder(paths.front());
    } else if (!paths.empty()) {
        runCommand([&](FolderJob& job) { openDroppedFiles(job, paths); });
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
    }
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
    const std::string& start =
        !remembered.empty() && isFolder(remembered) ? remembered : startFolder;
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
    return toolkit_.selectedRow();
}

void Form1::selectEntry(int row) {
    flushRows();
    if (row >= 0 && row < toolkit_.rowCount()) {
        toolkit_.selectRow(row);
    }
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
    toolkit_.setDocumentTip(documentPath_);
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
