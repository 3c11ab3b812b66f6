#include "AddInError.h"
#include "Raii.h"
#include "Text.h"
#include <oleauto.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace rud {

AddInError::AddInError(long number, std::wstring description, std::wstring source, long line)
    : number_(number), description_(std::move(description)), source_(std::move(source)), line_(line),
      what_(narrow(description_, CP_UTF8)) {}

HRESULT AddInError::hresult() const noexcept { return HResultFromErrorNumber(number_); }

AddInError ObjectNotSetError() {
    return AddInError(vberr::ObjectNotSet, L"Object variable or With block variable not set");
}
AddInError InvalidProcedureCallError() {
    return AddInError(vberr::InvalidProcedureCall, L"Invalid procedure call or argument");
}
AddInError KeyNotUniqueError() {
    return AddInError(vberr::KeyNotUnique, L"Key is not unique in collection");
}

long ErrorNumberFromHResult(HRESULT hr) noexcept {
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) return HRESULT_CODE(hr);
    return static_cast<long>(hr);
}

HRESULT HResultFromErrorNumber(long number) noexcept {
    if (number < 0) return static_cast<HRESULT>(number);
    if (number == 0) return E_FAIL;
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
}

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring out;
    if (n && text) out.assign(text, n);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == L'\n' || out.back() == L'\r' || out.back() == L' ')) out.pop_back();
    if (out.empty()) {
        wchar_t buf[64];
        wsprintfW(buf, L"Automation error 0x%08lX", static_cast<unsigned long>(hr));
        out = buf;
    }
    return out;
}

namespace {
// Automation errors of the dispatch machinery read best with the run time's own texts.
bool KnownAutomationText(HRESULT hr, long& number, std::wstring& text) {
    switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
        number = vberr::MethodNotSupported; text = L"Object doesn't support this property or method"; return true;
    case DISP_E_TYPEMISMATCH:
        number = vberr::TypeMismatch; text = L"Type mismatch"; return true;
    case DISP_E_BADPARAMCOUNT:
        number = vberr::WrongArgumentCount; text = L"Wrong number of arguments or invalid property assignment"; return true;
    case E_OUTOFMEMORY:
        number = vberr::OutOfMemory; text = L"Out of memory"; return true;
    default:
        return false;
    }
}
} // namespace

void ThrowFailedCall(HRESULT hr, IUnknown* object, const IID* iid) {
    // Error info is trusted only from an object that vouches for it on this interface; anything
    // else may be stale, left by an earlier call.
    bool useErrorInfo = false;
    if (object && iid) {
        ComPtr<ISupportErrorInfo> sei;
        useErrorInfo = SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&sei))) &&
                       sei->InterfaceSupportsErrorInfo(*iid) == S_OK;
    }
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info && useErrorInfo) {
        Bstr desc, source;
        info->GetDescription(desc.put());
        info->GetSource(source.put());
        if (!desc.view().empty()) throw AddInError(ErrorNumberFromHResult(hr), desc.str(), source.str());
    }
    long number = ErrorNumberFromHResult(hr);
    std::wstring text;
    if (KnownAutomationText(hr, number, text)) throw AddInError(number, text);
    throw AddInError(number, SystemMessage(hr));
}

AddInError CurrentError() noexcept {
    try {
        throw;
    } catch (const AddInError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return AddInError(vberr::OutOfMemory, L"Out of memory");
    } catch (const std::exception& e) {
        return AddInError(static_cast<long>(E_FAIL), widen(e.what(), CP_UTF8));
    } catch (...) {
        return AddInError(static_cast<long>(E_UNEXPECTED), SystemMessage(E_UNEXPECTED));
    }
}

HRESULT ReturnCurrentError(const IID& iid) noexcept {
    AddInError e = CurrentError();
    ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(iid);
        create->SetDescription(const_cast<LPOLESTR>(e.description().c_str()));
        if (!e.source().empty()) create->SetSource(const_cast<LPOLESTR>(e.source().c_str()));
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    }
    return e.hresult();
}

} // namespace rud
