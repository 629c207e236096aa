#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/JobView.h"

namespace testsupport {

// A view that records every call, in order, in one log that the writer
// shares, and keeps the rows, selection and message ("count 3", "done 3",
// "stopped 1") as a list box and status bar would.
struct RecordingView : folder2pdf::JobView {
    std::vector<std::string> log;
    std::string answer;
    std::vector<std::string> rows;
    int selected = -1;
    std::string message;
    int events = 0;
    std::function<void(int)> onEvents;  // runs inside runPendingEvents, with its 1-based count
    std::optional<folder2pdf::FailureAnswer> pictureAnswer;  // what askAboutPicture answers

    std::string chooseFolder(const std::string& start) override {
        log.push_back("chooseFolder(" + start + ")");
        return answer;
    }
    void clearEntries() override {
        log.push_back("clearEntries");
        rows.clear();
    }
    void addEntry(const std::string& text) override {
        log.push_back("addEntry(" + text + ")");
        rows.push_back(text);
    }
    void setEntry(int row, const std::string& text) override {
        log.push_back("setEntry(" + std::to_string(row) + "," + text + ")");
        rows.at(static_cast<std::size_t>(row)) = text;
    }
    int selectedEntry() override { return selected; }
    void selectEntry(int row) override {
        log.push_back("selectEntry(" + std::to_string(row) + ")");
        selected = row;
    }
    void showMessage(folder2pdf::JobMessage kind, std::int32_t count) override {
        static const char* const names[] = {"count", "done", "stopped"};
        message = names[static_cast<int>(kind)] + (" " + std::to_string(count));
        log.push_back("showMessage(" + message + ")");
    }
    void showProgressRange(std::int32_t low, std::int32_t high) override {
        log.push_back("showProgressRange(" + std::to_string(low) + "," + std::to_string(high) +
                      ")");
    }
    void showProgress(std::int32_t position) override {
        log.push_back("showProgress(" + std::to_string(position) + ")");
    }
    std::optional<folder2pdf::FailureAnswer> askAboutPicture(const folder2pdf::Error&) override {
        log.push_back("askAboutPicture");
        return pictureAnswer;
    }
    void runPendingEvents() override {
        log.push_back("runPendingEvents");
        if (onEvents) {
            onEvents(++events);
        }
    }
};

}  // namespace testsupport
