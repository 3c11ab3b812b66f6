#pragma once
// The one failure type inside the DLL: an error number, a description, the routine it was raised
// from and the line label of the failing statement. It never crosses a COM method or a window
// procedure: entry points turn it into an HRESULT or a report.
#include <windows.h>
#include <ole2.h>
#include <exception>
#include <string>

namespace rud {

// Error numbers of the automation run time that the add-in's own failures use.
namespace vberr {
constexpr long InvalidProcedureCall = 5;
constexpr long OutOfMemory = 7;
constexpr long TypeMismatch = 13;
constexpr long ObjectNotSet = 91;
constexpr long MethodNotSupported = 438;
constexpr long WrongArgumentCount = 450;
constexpr long DuplicateKey = 457;
constexpr long KeyNotUnique = 35602;
} // namespace vberr

class AddInError : public std::exception {
public:
    AddInError(long number, std::wstring description, std::wstring source = {}, long line = 0);

    long number() const noexcept { return number_; }
    const std::wstring& description() const noexcept { return description_; }
    const std::wstring& source() const noexcept { return source_; }
    long line() const noexcept { return line_; }
    const char* what() const noexcept override { return what_.c_str(); }

    // The HRESULT that stands for this error at a COM boundary.
    HRESULT hresult() const noexcept;

private:
    long number_;
    std::wstring description_;
    std::wstring source_;
    long line_;
    std::string what_;
};

// The standard errors, with the texts the automation run time gives them.
AddInError ObjectNotSetError();
AddInError InvalidProcedureCallError();
AddInError KeyNotUniqueError();

// Error number of a failed HRESULT: the low word for automation errors (FACILITY_CONTROL),
// the HRESULT itself otherwise; and back.
long ErrorNumberFromHResult(HRESULT hr) noexcept;
HRESULT HResultFromErrorNumber(long number) noexcept;

// The system's text for an HRESULT, without the trailing line break.
std::wstring SystemMessage(HRESULT hr);

// The error for a failed call on an interface: the description the object left through
// IErrorInfo when it supports error info for iid (ISupportErrorInfo), else the system's text.
[[noreturn]] void ThrowFailedCall(HRESULT hr, IUnknown* object = nullptr, const IID* iid = nullptr);
inline void Check(HRESULT hr) { if (FAILED(hr)) ThrowFailedCall(hr); }

// Inside a catch block: the exception in flight as an AddInError (foreign exceptions become
// "Out of memory" or a generic automation error).
AddInError CurrentError() noexcept;

// For the catch(...) of a COM method: publishes the error through SetErrorInfo and gives the
// HRESULT to return.
HRESULT ReturnCurrentError(const IID& iid) noexcept;

} // namespace rud
