#pragma once
// A host simulator with RuDerizIRA.dll loaded from the build, the add-in's trace lines and the
// message boxes it shows captured.
#include "DebugOutputCapture.h"
#include "Host.h"
#include "KorvaneFramework.h"
#include "MessageBoxCapture.h"
#include "Raii.h"
#include <gtest/gtest.h>
#include <wrl/client.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

// One property set A holding B with the value " x " and C with no value.
inline constexpr char kSetABC[] = R"({"propertySets":[{"name":"A","properties":[{"name":"B","value":" x "},{"name":"C","value":null}]}]})";

class AddInTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = std::make_unique<kvhost::Host>();
        host_->LoadAddInFromPath(RUD_TEST_DLL);
    }
    void TearDown() override {
        host_.reset();
        // A box the test did not announce fails it: a report on a path that should show none
        // must not pass unseen.
        if (!boxesExpected_)
            for (const auto& box : boxes.boxes()) ADD_FAILURE() << "unexpected message box: " << box.text;
    }

    // The test shows boxes on purpose (and checks them itself).
    void ExpectBoxes() noexcept { boxesExpected_ = true; }

    // The description the add-in published for its last failed IKorvaneAddIn call, taken as a
    // careful host takes it: only when the add-in vouches for error info on that interface.
    std::wstring TrustedErrorDescription() {
        Microsoft::WRL::ComPtr<ISupportErrorInfo> support;
        Microsoft::WRL::ComPtr<IErrorInfo> info;
        if (!host_->AddIn() || FAILED(host_->AddIn()->QueryInterface(IID_PPV_ARGS(&support))) ||
            support->InterfaceSupportsErrorInfo(IID_IKorvaneAddIn) != S_OK || GetErrorInfo(0, &info) != S_OK || !info)
            return L"<not trusted>";
        rud::Bstr description;
        info->GetDescription(description.put());
        return description.str();
    }

    kvhost::Host& host() { return *host_; }

    void ConnectAndClear() {
        ASSERT_EQ(host().Connect(), S_OK);
        trace.clear();
        host().Recorder().ClearCalls();
    }

    // A document with one property set A holding B (" x ") and C (Null), named as given.
    kvhost::DocId NewDoc(const std::wstring& fullName) { return host().NewDocumentWith(fullName, kSetABC); }

    std::vector<std::wstring> Lines() const { return trace.wideLines(); }

    // The trace lines that begin with prefix.
    std::vector<std::wstring> LinesStartingWith(const std::wstring& prefix) const {
        std::vector<std::wstring> out;
        for (const auto& l : trace.wideLines())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    // Position of the first line equal to text, -1 when absent.
    long IndexOf(const std::wstring& text) const {
        auto lines = trace.wideLines();
        auto it = std::find(lines.begin(), lines.end(), text);
        return it == lines.end() ? -1 : static_cast<long>(it - lines.begin());
    }

    std::vector<std::wstring> CallsTo(const std::wstring& object) const {
        std::vector<std::wstring> out;
        for (const auto& c : host_->Recorder().Calls())
            if (c.object == object) out.push_back(c.Text());
        return out;
    }

    kvhost::DebugOutputCapture trace;
    rud::testkit::MessageBoxCapture boxes;

private:
    std::unique_ptr<kvhost::Host> host_;
    bool boxesExpected_ = false;
};

inline std::wstring Decimal(HWND h) { return std::to_wstring(static_cast<LONG>(reinterpret_cast<INT_PTR>(h))); }

// The add-in's error number as the HRESULT a COM call gives back.
inline HRESULT AutomationError(long number) { return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number); }
