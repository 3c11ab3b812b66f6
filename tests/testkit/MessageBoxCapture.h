#pragma once
// Capture and dismissal of the message boxes shown on the calling thread, for tests: a CBT hook
// sees each box when it is activated, records its title, text, icon and owner, and closes it
// with OK from inside the box's own modal loop (after an optional action that runs while the box
// is still up).
#include <windows.h>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace rud::testkit {

enum class BoxIcon { None, Stop, Information, Other };

struct CapturedBox {
    std::wstring title;
    std::wstring text;
    BoxIcon icon = BoxIcon::None;
    HWND owner = nullptr;   // the window the box belongs to (none for an unowned box)
    HWND window = nullptr;  // the box itself; gone once it is dismissed
};

class MessageBoxCapture {
public:
    // Runs while the box is up, from the box's modal loop, before the box is dismissed.
    using WhileShown = std::function<void(const CapturedBox&)>;

    MessageBoxCapture();
    explicit MessageBoxCapture(WhileShown whileShown);
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    const std::vector<CapturedBox>& boxes() const noexcept { return boxes_; }
    std::size_t count() const noexcept { return boxes_.size(); }
    void clear() noexcept { boxes_.clear(); }

    // Used by the hook and the timer of this thread.
    void OnBoxActivated(HWND box);
    void OnDismissTime();

private:
    HHOOK hook_ = nullptr;
    MessageBoxCapture* previous_ = nullptr;
    WhileShown whileShown_;
    std::vector<CapturedBox> boxes_;
    std::vector<HWND> toDismiss_;
    UINT_PTR timer_ = 0;
};

// The lines of a text split at CR LF (a final CR LF does not open another line).
std::vector<std::wstring> SplitCrLf(const std::wstring& text);

} // namespace rud::testkit
