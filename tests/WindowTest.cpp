// The window's design and behaviour through a fake toolkit, no window at
// all: the scenarios every window runs, against what the design asked to
// be drawn.

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "WindowScenarios.h"
#include "ui/shared/Form1.h"
#include "ui/shared/StatusProgress.h"
#include "ui/shared/WindowToolkit.h"

using namespace windowtest;
using folder2pdf::Caption;
using folder2pdf::Rect;
using folder2pdf::Size;

// The toolkit and the scenarios' driver in one: it keeps what it is asked
// to draw, and steps "later" wait for the next run of pending events.
struct FakeDriver : Recorder, folder2pdf::WindowToolkit {
    FakeDriver() {
        window->setFolderChooser([this](const std::string& title, const std::string& start) {
            return choose(title, start);
        });
    }

    int dpi() const override { return screenDpi; }
    Size clientSize() const override { return client; }
    void setClientSize(Size size) override { client = size; }
    void createControl(const folder2pdf::ControlDesign&) override {}
    void moveControl(folder2pdf::Control control, const Rect& place) override {
        places[control] = place;
    }
    void setCaption(Caption which, const std::u16string& text) override {
        captions[which] = testsupport::utf8(std::filesystem::path(text));
    }
    void clearRows() override { list.clear(); }
    void addRows(const std::vector<std::string>& texts) override {
        list.insert(list.end(), texts.begin(), texts.end());
    }
    void setRow(int row, const std::string& text) override { list.at(row) = text; }
    int rowCount() const override { return static_cast<int>(list.size()); }
    void selectRow(int row) { chosenRows = {row}; }
    std::vector<int> selectedRows() const override { return chosenRows; }
    void selectRows(const std::vector<int>& rows) override { chosenRows = rows; }
    void setListMode(folder2pdf::ListMode mode, std::int32_t) override {
        thumbnails = mode == folder2pdf::ListMode::Thumbnails;
    }
    void setRowThumbnail(int row, const folder2pdf::Thumbnail* thumbnail) override {
        drawn[row] = thumbnail != nullptr;
    }
    void postThumbnailsReady() override {
        fromAnyThread([this] { window->thumbnailsReady(); });
    }
    std::vector<std::string> choosePictures(const std::string&, const std::string&,
                                            const std::vector<std::string>&) override {
        return picturesChosen;
    }
    std::optional<std::string> askText(const std::string&, const std::string&) override {
        if (textAnswers.empty()) {
            return std::nullopt;
        }
        std::string answer = textAnswers.front();
        textAnswers.erase(textAnswers.begin());
        return answer;
    }
    void setMinimumClientSize(Size size) override { least = size; }
    std::pair<int, int> visibleRows() const override { return {0, rowCount()}; }
    std::string picturesFolder() const override { return {}; }
    void setControlTip(folder2pdf::Control, const std::string&) override {}
    void setAccessibleName(folder2pdf::Control, const std::string&) override {}
    void createStatusBar() override {}
    void setStatusParts(const std::array<std::int32_t, 4>& edges) override { rightEdges = edges; }
    void setPartText(std::int32_t part, const std::string& text, std::int32_t) override {
        parts[part] = text;
    }
    Rect fitStatusBar(std::int32_t part) override {
        lastPart = folder2pdf::StatusProgress::partPlace(rightEdges, part, {client.width, 20});
        return lastPart;
    }
    void destroyStatusBar() override {}
    void createProgressBar() override {}
    void moveProgressBar(const Rect& place) override { progressPlace = place; }
    void setProgressRange(std::int32_t, std::int32_t high) override { progressMax = high; }
    void setProgressPos(std::int32_t position) override { progressPos = position; }
    void destroyProgressBar() override {}
    std::string chooseFolder(const std::string&, const std::string&) override { return {}; }
    std::string chooseDocument(const std::string&, const std::string&) override {
        return savedAs;
    }
    std::string setting(const char* key) const override {
        return settings.count(key) ? settings.at(key) : std::string();
    }
    void setSetting(const char* key, const std::string& value) override { settings[key] = value; }
    int showMenu(const std::vector<folder2pdf::MenuItem>&, const folder2pdf::Control*) override {
        return menuAnswer;
    }
    void setDocumentTip(const std::string& path) override { documentTip = path; }
    void openDocument(const std::string& path) override { opened = path; }
    void showError(const std::string& text) override { messages.push_back(text); }
    int askChoice(const std::string& text, const std::vector<std::string>&) override {
        messages.push_back(text);
        return choiceAnswer;
    }
    void setGenerateCaption(const std::string& text) override { generateCaption = text; }
    void runPendingEvents() override {
        std::deque<std::function<void()>> arrived;
        {
            const std::lock_guard<std::mutex> lock(postedMutex);
            arrived.swap(posted);
        }
        for (const auto& steps : arrived) {
            steps();
        }
        for (; !pending.empty(); pending.pop_front()) {
            pending.front()();
        }
    }
    void closeWindow() override {}

    folder2pdf::Form1& form() { return *window; }
    std::string title() const { return captions.at(Caption::Window); }
    std::string text(Control label) const {
        return captions.at(label == L1 ? Caption::L1 : Caption::L2);
    }
    std::string part(int index) const { return parts.at(index); }
    std::vector<std::string> rows() const { return list; }
    void pressDelete() { window->List_Remove(); }
    void drop(const std::vector<std::string>& paths) { window->Form_DragDrop(paths); }
    void dropOnList(const std::vector<std::string>& paths, int row) {
        window->Form_DragDrop(paths, row);
    }
    void key(folder2pdf::Key key, bool ctrl, bool shift = false) {
        window->Form_KeyDown(key, ctrl, shift);
    }
    std::vector<int> selection() const { return chosenRows; }
    void dragTo(int row) { window->List_DragMoved(row); }
    void contextMenu(int row, int item) {
        menuAnswer = item;
        window->List_ContextMenu(row);
        menuAnswer = -1;
    }
    bool waitForThumbnails(int rows) {
        for (int wait = 0; wait < 1000; ++wait) {
            runPendingEvents();
            if (static_cast<int>(std::count_if(drawn.begin(), drawn.end(), [](const auto& row) {
                    return row.second;
                })) >= rows) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::string tip() const { return documentTip; }
    void click(Control button) { window->controlClicked(static_cast<folder2pdf::Control>(button)); }
    void resize(int width, int height) {
        client = {std::max(width, least.width), std::max(height, least.height)};
        window->Form_Resize();
    }
    std::array<Place, 3> layout() const {
        const auto place = [](const Rect& r) { return Place{r.left, r.top, r.right, r.bottom}; };
        return {place(places.at(folder2pdf::Control::List)), place(lastPart), place(progressPlace)};
    }
    std::array<int, 2> progress() const { return {progressMax, progressPos}; }
    void setProgress(int value) { progressPos = value; }
    void later(std::function<void()> steps) { pending.push_back(std::move(steps)); }
    // As the system's messages come: from any thread, taken by the event loop.
    void fromAnyThread(std::function<void()> steps) {
        const std::lock_guard<std::mutex> lock(postedMutex);
        posted.push_back(std::move(steps));
    }
    void close() { window->Form_QueryUnload(); }

    int screenDpi = 96;
    Size client;
    std::map<folder2pdf::Control, Rect> places;
    std::map<Caption, std::string> captions;
    std::vector<std::string> list;
    std::vector<int> chosenRows;
    bool thumbnails = false;
    std::map<int, bool> drawn;  // rows given a thumbnail, or a blank
    std::vector<std::string> textAnswers;  // what the text box answers, then cancels
    Size least;
    std::array<std::int32_t, 4> rightEdges{};
    std::map<int, std::string> parts;
    Rect lastPart, progressPlace;
    int progressMax = 100, progressPos = 0;
    std::deque<std::function<void()>> pending;
    std::mutex postedMutex;
    std::deque<std::function<void()>> posted;
    std::map<std::string, std::string> settings;
    std::string documentTip, opened;
    int menuAnswer = -1;
    int choiceAnswer = -1;  // the box closed: as 取消
    std::string generateCaption;
    std::string savedAs;  // what the "save as" chooser answers
    std::unique_ptr<folder2pdf::Form1> window = std::make_unique<folder2pdf::Form1>(*this);
};
INSTANTIATE_TYPED_TEST_SUITE_P(WindowTest, Window, FakeDriver);

TEST(WindowTest, StatusTextOutsideTheFourPartsIsAnIndexError) {
    FakeDriver w;
    EXPECT_THROW(folder2pdf::StatusProgress::setStatusText(4, "x"), std::out_of_range);
}

TEST(WindowTest, StatusPartsScaleWithTheScreen) {
    FakeDriver w;
    EXPECT_EQ(w.rightEdges, (std::array<std::int32_t, 4>{36, 136, 174, -1}));
    w.screenDpi = 144;
    w.resize(612, 324);
    EXPECT_EQ(w.rightEdges, (std::array<std::int32_t, 4>{54, 204, 261, -1}));
}

TEST(WindowTest, TheDocumentsPaperAndCompressionAreChosenOnGenerateAndRemembered) {
    FakeDriver w;
    testsupport::Folder folder("图片");
    folder.add("a.bmp", 2, 2);
    w.chosen = folder.path;
    const auto checked = [&] {
        std::vector<int> indices;
        for (const folder2pdf::MenuItem& item : w.window->Command2_Menu()) {
            indices.push_back(item.checked);
        }
        return indices;
    };
    EXPECT_EQ(checked(), (std::vector<int>{1, 0, 0, 1, 0, 0, 0, 1, 0}));
    w.menuAnswer = 1;  // A4
    w.window->Command2_DropDown();
    w.window->Command2_MenuClick(4);  // 无损压缩
    w.window->Command2_MenuClick(8);  // 彩色
    EXPECT_EQ(checked(), (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 0, 1}));
    w.click(Command1);
    w.click(Command2);
    const folder2pdf::DocumentOptions options = w.window->job()->plan().options;
    EXPECT_EQ(options.paper, folder2pdf::Paper::A4);
    EXPECT_EQ(options.compression, folder2pdf::Compression::Compact);
    EXPECT_TRUE(options.color);
    EXPECT_EQ(options.title, "图片");
    w.window.reset();  // the next start
    w.window = std::make_unique<folder2pdf::Form1>(w);
    EXPECT_EQ(checked(), (std::vector<int>{0, 1, 0, 0, 1, 0, 0, 0, 1}));
    // 大小上限: a size the command line would refuse is asked again.
    w.textAnswers = {"5 apples", "800KB"};
    w.window->Command2_MenuClick(6);
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.window->Command2_Menu()[6].text, "大小上限（800KB）…");
    EXPECT_EQ(checked(), (std::vector<int>{0, 1, 0, 0, 0, 0, 1, 0, 1}));
    w.window->setFolderChooser([&](const std::string&, const std::string&) { return folder.path; });
    w.click(Command1);
    w.click(Command2);
    EXPECT_EQ(w.window->job()->plan().options.maxSize, 800000) << w.messages.back();
}

// A resolution the system did not give (GetDpiForWindow's 0) is Windows'
// standard 96, and one past all reason is capped, so that no rule divides
// by 0 or overflows: the window still starts and lays out.
TEST(WindowTest, ResolutionsTheSystemDidNotGiveAreTakenAsTheStandard96) {
    using namespace folder2pdf;
    for (const auto& [dpi, like] : {std::pair{0, 96}, {-96, 96}, {1 << 30, 9600}}) {
        EXPECT_EQ(listPlace({408, 216}, dpi), listPlace({408, 216}, like)) << dpi;
        EXPECT_EQ(designPlace(designOf(folder2pdf::Control::L2), dpi),
                  designPlace(designOf(folder2pdf::Control::L2), like));
        EXPECT_EQ(designClientSize(dpi).height, designClientSize(like).height);
        EXPECT_EQ(StatusProgress::partRightEdges(StatusProgress::windowPartLayout, dpi),
                  StatusProgress::partRightEdges(StatusProgress::windowPartLayout, like));
    }
    FakeDriver w;
    w.screenDpi = 0;
    w.window = std::make_unique<Form1>(w);
    w.resize(408, 216);
    EXPECT_EQ(w.places.at(folder2pdf::Control::List), (Rect{0, 47, 408, 196}));
}

// The list's menu turns and removes the selection, undoes, and orders the
// list; the order chosen is remembered for the lists opened later.
TEST(WindowTest, TheListsMenuTurnsRemovesUndoesAndOrders) {
    FakeDriver w;
    testsupport::Folder folder("图片");
    for (const std::string& name : examples) {
        folder.add(name, 2, 3);
    }
    w.chosen = folder.path;
    w.click(Command1);
    w.selectRow(1);
    w.window->List_MenuClick(0);  // 向右旋转
    EXPECT_EQ(w.rows()[1], "b.bmp（旋转90°）");
    EXPECT_EQ(w.window->job()->plan().pictures[1].quarterTurns, 1);
    w.window->List_MenuClick(2);  // 移除
    EXPECT_EQ(w.rows(), (std::vector<std::string>{"a.bmp", "c.bmp"}));
    w.window->List_MenuClick(3);  // 撤销
    EXPECT_EQ(w.rows()[1], "b.bmp（旋转90°）");
    const std::size_t reverse = w.window->List_Menu().size() - 4;
    EXPECT_EQ(w.window->List_Menu()[reverse].text, "倒序");
    w.window->List_MenuClick(static_cast<int>(reverse));
    EXPECT_EQ(w.rows(), (std::vector<std::string>{"c.bmp", "b.bmp（旋转90°）", "a.bmp"}));
    w.window.reset();  // the next start opens in the order chosen
    w.window = std::make_unique<folder2pdf::Form1>(w);
    w.window->setFolderChooser([&](const std::string&, const std::string&) { return folder.path; });
    w.click(Command1);
    EXPECT_EQ(w.rows(), (std::vector<std::string>{"c.bmp", "b.bmp", "a.bmp"}));
}
