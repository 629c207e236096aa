#include "ui/shared/Form1.h"

#include <exception>
#include <vector>

#include "common/System.h"
#include "ui/shared/Captions.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowTexts.h"
#include "ui/shared/WindowToolkit.h"
#include "ui/shared/myCode.h"

namespace folder2pdf {

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

void Form1::runCommand(void (FolderJob::*command)()) {
    if (running_ || !job_) {
        return;
    }
    running_ = true;
    try {
        (job_.get()->*command)();
    } catch (const std::exception& error) {
        if (!closePending_) {
            toolkit_.showError(boxText(errorText(error)));
        }
    }
    running_ = false;
    if (closePending_) {
        Form_Unload();
        toolkit_.closeWindow();
    }
}

std::string Form1::chooseFolder(const std::string& startFolder) {
    return folderChooser_ ? folderChooser_(folderPrompt(), startFolder)
                          : toolkit_.chooseFolder(folderPrompt(), startFolder);
}

void Form1::clearEntries() {
    toolkit_.clearRows();
}

void Form1::addEntry(const std::string& text) {
    toolkit_.addRow(text);
}

void Form1::setEntry(int row, const std::string& text) {
    if (row >= 0 && row < toolkit_.rowCount()) {
        toolkit_.setRow(row, text);
    }
}

int Form1::selectedEntry() {
    return toolkit_.selectedRow();
}

void Form1::selectEntry(int row) {
    if (row >= 0 && row < toolkit_.rowCount()) {
        toolkit_.selectRow(row);
    }
}

void Form1::showMessage(JobMessage message, std::int32_t count) {
    StatusProgress::setStatusText(StatusProgress::messagePart, messageText(message, count));
}

void Form1::showProgressRange(std::int32_t low, std::int32_t high) {
    StatusProgress::setProgressRange(low, high);
}

void Form1::showProgress(std::int32_t position) {
    StatusProgress::setProgressPos(position);
}

void Form1::runPendingEvents() {
    toolkit_.runPendingEvents();
}

}  // namespace folder2pdf
