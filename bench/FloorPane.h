#pragma once
// The floor of a pane: a plain program that puts the same windows into a page of the host (same
// classes, styles, fonts, picture, tool tip and final rectangles) in the cheapest order found,
// hidden until one show at the end, and fills a bare tree with the same texts after the same host
// reads, set nodes first. What the pane costs beyond it is the price of its structure.
#include <windows.h>
#include <oaidl.h>
#include <string>
#include <vector>

namespace bench {

class FloorPane {
public:
    FloorPane();
    ~FloorPane();
    FloorPane(const FloorPane&) = delete;
    FloorPane& operator=(const FloorPane&) = delete;

    // Page from the host's VaneBar of `addInObject`, windows, reads and tree.
    void Open(IDispatch* addInObject, IDispatch* document, HINSTANCE pageImageModule);
    void Close();
    HWND Page() const noexcept { return page_; }

private:
    IDispatch* addIn_ = nullptr;
    IDispatch* document_ = nullptr;
    HWND page_ = nullptr;
    HWND tips_ = nullptr;
    HFONT font_ = nullptr, bold_ = nullptr;
    HBRUSH grey_ = nullptr, face_ = nullptr;
    HICON picture_ = nullptr;
};

} // namespace bench
