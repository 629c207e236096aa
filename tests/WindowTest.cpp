// The window's design and behaviour through a fake toolkit, no window at
// all: the scenarios every window runs, against what the design asked to
// be drawn.

#include <deque>
#include <map>
#include <memory>
#include <stdexcept>

#include "WindowScenarios.h"
#include "ui/shared/Form1.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowToolkit.h"

using namespace windowtest;
using folder2pdf::Caption;
using folder2pdf::Rect;
using folder2pdf::Size;

static Place placeOf(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// Keeps what it is asked to draw; events "later" wait for the next run of
// pending events.
class FakeToolkit : public folder2pdf::WindowToolkit {
  public:
    int dpi() const override { return 96; }
    Size clientSize() const override { return client; }
    void setClientSize(Size size) override { client = size; }
    void createControl(const folder2pdf::ControlDesign&) override {}
    void moveControl(folder2pdf::Control control, const Rect& place) override {
        places[static_cast<int>(control)] = place;
    }
    void setCaption(Caption which, const std::u16string& text) override { captions[which] = text; }
    void clearRows() override { rows.clear(); }
    void addRow(const std::string& text) override { rows.push_back(text); }
    void setRow(int row, const std::string& text) override { rows.at(row) = text; }
    int rowCount() const override { return static_cast<int>(rows.size()); }
    int selectedRow() const override { return selected; }
    void selectRow(int row) override { selected = row; }
    void createStatusBar(const std::array<std::int32_t, 4>& edges) override { rightEdges = edges; }
    void setPartText(std::int32_t part, const std::string& text, std::int32_t) override {
        parts[part] = text;
    }
    Rect fitStatusBar(std::int32_t part) override {
        lastPart = folder2pdf::StatusProgress::partPlace(rightEdges, part, {client.width, 20});
        return lastPart;
    }
    void destroyStatusBar() override { statusBarAlive = false; }
    void createProgressBar() override { progressPlace = {0, 0, 100, 10}; }
    void moveProgressBar(const Rect& place) override { progressPlace = place; }
    void setProgressRange(std::int32_t, std::int32_t high) override { progressMax = high; }
    void setProgressPos(std::int32_t position) override { progressPos = position; }
    void destroyProgressBar() override {}
    std::string chooseFolder(const std::string&, const std::string&) override { return {}; }
    void showError(const std::string& text) override { errors.push_back(text); }
    void runPendingEvents() override {
        while (!pending.empty()) {
            const std::function<void()> steps = pending.front();
            pending.pop_front();
            steps();
        }
    }
    void closeWindow() override { closed = true; }

    Size client;
    std::map<int, Rect> places;
    std::map<Caption, std::u16string> captions;
    std::vector<std::string> rows;
    int selected = -1;
    std::array<std::int32_t, 4> rightEdges{};
    std::map<int, std::string> parts;
    Rect lastPart, progressPlace;
    int progressMax = 100, progressPos = 0;
    bool statusBarAlive = true, closed = false;
    std::vector<std::string> errors;
    std::deque<std::function<void()>> pending;
};

struct FakeDriver : Recorder {
    FakeDriver() {
        window->setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
    }
    folder2pdf::Form1& form() { return *window; }
    std::string title() const { return utf8(Caption::Window); }
    std::string text(Control label) const { return utf8(label == L1 ? Caption::L1 : Caption::L2); }
    std::string part(int index) const { return fake.parts.at(index); }
    std::vector<std::string> rows() const { return fake.rows; }
    void click(Control button) {
        window->controlClicked(static_cast<folder2pdf::Control>(button));
        messages.insert(messages.end(), fake.errors.begin(), fake.errors.end());
        fake.errors.clear();
    }
    void selectRow(int row) { fake.selected = row; }
    void resize(int width, int height) {
        fake.client = {width, height};
        window->Form_Resize();
    }
    std::array<Place, 3> layout() const {
        return {placeOf(fake.places.at(static_cast<int>(List))), placeOf(fake.lastPart),
                placeOf(fake.progressPlace)};
    }
    std::array<int, 2> progress() const { return {fake.progressMax, fake.progressPos}; }
    void setProgress(int value) { fake.progressPos = value; }
    void later(std::function<void()> steps) { fake.pending.push_back(std::move(steps)); }
    void close() { fake.closed = window->Form_QueryUnload(); }

    std::string utf8(Caption which) const {
        return testsupport::utf8(std::filesystem::path(fake.captions.at(which)));
    }

    FakeToolkit fake;
    std::unique_ptr<folder2pdf::Form1> window = std::make_unique<folder2pdf::Form1>(fake);
};
INSTANTIATE_TYPED_TEST_SUITE_P(WindowTest, Window, FakeDriver);

TEST(WindowTest, StatusTextOutsideTheFourPartsIsAnIndexError) {
    FakeDriver w;
    EXPECT_THROW(folder2pdf::StatusProgress::setStatusText(4, "x"), std::out_of_range);
}
