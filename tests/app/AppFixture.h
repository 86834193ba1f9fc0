// Test fixture for the application: its own hives and drive C:, Berlin time on a fake clock, a
// virtual-time loop, a presenter that records what it was asked to show, and an engine stand-in.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/QuillonRunApp.h"
#include "app/RunPresenter.h"
#include "app/TimerLoop.h"
#include "config/AppProfile.h"
#include "config/Registrierung.h"
#include "support/MessageBox.h"
#include "support/TimeValue.h"
#include "testing/CaptureTrace.h"
#include "testing/Environment.h"
#include "testing/FakeClock.h"
#include "testing/ScopedHives.h"

namespace quillon::testing {

using ::testing::AllOf;
using ::testing::HasSubstr;

// What a progress view was told, kept beyond the life of the view.
struct ViewRecord {
    std::map<ProgressLine, std::string> Texts;
    bool Filled[ProgressView::kSegments] = {};
    bool Shown = false;
};

struct FakePresenter : RunPresenter {
    std::unique_ptr<ProgressView> CreateProgressView(bool) override {
        Views.push_back(std::make_shared<ViewRecord>());
        return std::make_unique<View>(Views.back());
    }
    // Answers from CheckBoxAnswers (answer, ticked when closed), else the default button untouched.
    int ShowMessageBoxWithCheckBox(const std::string& text, unsigned style, bool& checkBox) override {
        Boxes.push_back(text);
        if (CheckBoxAnswers.empty()) {
            return DefaultAnswer(style);
        }
        auto [answer, ticked] = CheckBoxAnswers.front();
        CheckBoxAnswers.pop_front();
        checkBox = ticked;
        return answer;
    }
    void SetMessageBoxHelpContext(int context) override { HelpContexts.push_back(context); }
    void ShowErrorList(int32_t, const std::vector<std::string>&) override { ++ErrorLists; }
    bool IsLargeFontSystem() override { return false; }
    void ShowNotice(const std::string& text) override { Notices.push_back(text); }

    std::vector<std::shared_ptr<ViewRecord>> Views;
    std::vector<std::string> Notices;
    std::vector<std::string> Boxes;  // the texts of the boxes with a check box
    std::deque<std::pair<int, bool>> CheckBoxAnswers;
    std::vector<int> HelpContexts;
    int ErrorLists = 0;

    struct View : ProgressView {
        explicit View(std::shared_ptr<ViewRecord> record) : Record(std::move(record)) {}
        void SetText(ProgressLine line, const std::string& text) override { Record->Texts[line] = text; }
        void SetSegment(int index, bool filled) override { Record->Filled[index] = filled; }
        void Show() override { Record->Shown = true; }
        void Redraw() override {}
        void Close() override {}
        std::shared_ptr<ViewRecord> Record;
    };
};

// A window whose timer runs a test's action at a chosen moment of virtual time.
struct ActionAt : TimerWindow {
    ActionAt(MessageLoop& loop, int64_t milliseconds, std::function<void()> action)
        : loop(loop), action(std::move(action)) {
        loop.SetTimer(*this, 1, milliseconds);
    }
    ~ActionAt() { loop.KillTimers(*this); }
    void OnTimer(uint32_t) override {
        loop.KillTimers(*this);
        action();
    }
    MessageLoop& loop;
    std::function<void()> action;
};

class AppTest : public ::testing::Test {
  protected:
    // 2003-11-24 18:02:11 in Berlin, a Monday.
    static constexpr int64_t kNow = 1'069'693'331;

    AppTest() {
        previousBoxes_ = SetMessageBoxPresenter([this](const std::string& text, unsigned style) -> int {
            if (text.rfind("Die Datei IB-ZIP.DLL", 0) == 0) {
                return kIdOk;  // the compression library is not built beside the tests
            }
            Messages.push_back(text);
            if (MessageAnswers.empty()) {
                return DefaultAnswer(style);
            }
            int answer = MessageAnswers.front();
            MessageAnswers.pop_front();
            return answer;
        });
        profile.BindProfile(0);
        app.WorkerAtLowestPriority = false;  // the tests' workers must not wait for an idle processor
        app.Engine = [this](RunState& run) {
            ++EngineRuns;
            run.RunInProgress.store(false);
        };
    }
    ~AppTest() override { SetMessageBoxPresenter(previousBoxes_); }

    // Entries of the profile "Quillon".
    void Set(const std::string& section, const std::string& entry, int32_t value) {
        profile.WriteProfileInt(section, entry, value);
    }
    void Set(const std::string& section, const std::string& entry, const std::string& text) {
        profile.WriteProfileString(section, entry, text);
    }
    std::string Get(const std::string& section, const std::string& entry) {
        return profile.GetProfileString(section, entry, "<none>");
    }
    int32_t GetInt(const std::string& section, const std::string& entry) {
        return profile.GetProfileInt(section, entry, -999);
    }
    static std::string Machine(const std::string& name) {
        return GetRegistryString(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\" + name, "<none>");
    }
    static int32_t MachineInt(const std::string& name) {
        return GetRegistryInt(HKEY_LOCAL_MACHINE, "Software\\Norrow\\Quillon\\" + name, -1);
    }
    // What the registry holds of the last run: "RunningInstance LastRunStatus Semaphore LastRunTime".
    std::string Record() {
        return std::to_string(GetInt("DynData", "RunningInstance")) + " " +
               std::to_string(GetInt("DynData", "LastRunStatus")) + " " +
               std::to_string(MachineInt("Semaphore")) + " " + Machine("LastRunTime");
    }
    static std::string At(int64_t seconds) {
        return TimeValue::FromSeconds(seconds).Format("%Y-%m-%d %H:%M:%S");
    }
    // The trace records that begin with prefix.
    std::vector<std::string> Traces(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& record : trace.Records()) {
            if (record.rfind(prefix, 0) == 0) {
                found.push_back(record);
            }
        }
        return found;
    }
    // Runs the program; the run ends at the latest after stopAfter seconds.
    int RunUntil(CQuillonRunApp& program, int64_t stopAfter = 3 * 86400) {
        ActionAt stop(loop, stopAfter * 1000, [this] { loop.PostThreadMessage(WM_QUIT); });
        return program.Run();
    }
    // A new application object with the fixture's engine, for one more start of the program.
    CQuillonRunApp& Fresh(const std::string& commandLine = "") {
        fresh_.emplace(loop, presenter);
        fresh_->Engine = app.Engine;
        fresh_->WorkerAtLowestPriority = false;
        fresh_->CommandLine = commandLine;
        return *fresh_;
    }

    ScopedTimeZone zone{"Europe/Berlin"};
    FakeClock clock{kNow};
    ScopedHives hives;
    ScopedDriveMap drives;
    CaptureTrace trace;
    TimerLoop loop{TimerLoop::Time::kVirtual};
    FakePresenter presenter;
    CQuillonRunApp app{loop, presenter};
    CAppProfile profile;                   // the profile "Quillon"
    std::optional<CQuillonRunApp> fresh_;  // the latest of Fresh()
    std::vector<std::string> Messages;     // the texts of the plain message boxes
    std::deque<int> MessageAnswers;        // their answers; the default button when empty
    int EngineRuns = 0;

  private:
    MessageBoxPresenter previousBoxes_;
};

}  // namespace quillon::testing
