#include "SampleCompound.h"
#include "HostError.h"
#include "PropertySetCodec.h"
#include "Tools.h"
#include <objbase.h>
#include <wrl/client.h>

namespace kvsim {

namespace {

namespace ps = kvhost::propset;
using Microsoft::WRL::ComPtr;

ps::Value Text(const wchar_t* s) { return ps::MakeText(ps::kLpstr, s); }
ps::Value Number(uint16_t type, int64_t n) { return ps::MakeInteger(type, n); }
ps::Value Real(double d) {
    ps::Value v;
    v.type = ps::kR8;
    v.real = d;
    return v;
}
// A UTC time, or a time span given as hours and minutes alone (year 0).
ps::Value Time(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    ps::Value v;
    v.type = ps::kFiletime;
    if (year == 0) {
        v.unsignedInteger = (hour * 60ull + minute) * 60 * 10000000;
        return v;
    }
    SYSTEMTIME st{year, month, 0, day, hour, minute, 0, 0};
    FILETIME ft{};
    SystemTimeToFileTime(&st, &ft);
    v.unsignedInteger = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return v;
}
ps::Value Vector(uint16_t element, std::vector<ps::Value> items) {
    ps::Value v;
    v.type = ps::kVector | element;
    v.items = std::move(items);
    return v;
}

ps::Section Section(const GUID& id, std::vector<std::pair<uint32_t, ps::Value>> values) {
    ps::Section s = ps::MakeSection(id, 1252);
    for (auto& [pid, value] : values) s.properties.push_back(ps::MakeProperty(pid, std::move(value)));
    return s;
}

void Check(HRESULT hr, const std::wstring& path) {
    if (FAILED(hr)) throw kvhost::HostError(hr, L"cannot make " + path);
}

} // namespace

void WriteSampleCompoundDocument(const std::wstring& path) {
    const std::wstring title = L"Site Survey \u2013 Hall 3";
    const std::string summary = ps::MakeStream({Section(ps::kSummaryInformation, {
        {2, Text(title.c_str())}, {3, Text(L"Floor loads and exits")}, {4, Text(L"Mira Lindqvist")},
        {5, Text(L"survey; hall 3; loads")}, {6, Text(L"Measured on site, see the drawings")},
        {7, Text(L"Normal.dot")}, {8, Text(L"Mira Lindqvist")}, {9, Text(L"4")}, {18, Text(L"Korvane")},
        {10, Time(0, 0, 0, 2, 15)}, {12, Time(2024, 3, 11, 8, 30)}, {13, Time(2024, 3, 15, 16, 5)},
        {14, Number(ps::kI4, 6)}, {15, Number(ps::kI4, 1840)}, {16, Number(ps::kI4, 10211)},
        {19, Number(ps::kI4, 0)}})});
    ps::Section user = Section(ps::kUserDefinedProperties, {
        {2, Text(L"Harbour Logistics")}, {3, Number(ps::kI4, 2417)}, {4, Number(ps::kBool, 0)},
        {5, Time(2024, 4, 30, 0, 0)}, {6, Text(L"\u00c5sa Berg")}, {7, Real(7.5)}});
    ps::Property names;
    names.id = 0;
    user.properties.insert(user.properties.begin(), std::move(names));
    user.dictionary = {{2, L"Client"}, {3, L"Project No."}, {4, L"Approved"}, {5, L"Due"}, {6, L"Inspector"},
                       {7, L"Load (kN/m\u00b2)"}};
    const std::string documentSummary = ps::MakeStream({Section(ps::kDocSummaryInformation, {
        {2, Text(L"Survey")}, {14, Text(L"Erik Sj\u00f6berg")}, {15, Text(L"Nordhavn Bygg AB")},
        {16, Number(ps::kBool, 0)}, {12, Vector(ps::kVariant, {Text(L"Title"), Number(ps::kI4, 1)})},
        {13, Vector(ps::kLpstr, {Text(title.c_str())})}}), user});

    ComPtr<IStorage> root;
    Check(StgCreateStorageEx(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, STGFMT_STORAGE, 0,
                             nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(root.GetAddressOf())), path);
    const std::pair<const wchar_t*, const std::string*> streams[] = {
        {L"\005SummaryInformation", &summary}, {L"\005DocumentSummaryInformation", &documentSummary}};
    for (const auto& [name, bytes] : streams) {
        ComPtr<IStream> s;
        Check(root->CreateStream(name, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, s.GetAddressOf()), path);
        ULONG put = 0;
        Check(s->Write(bytes->data(), static_cast<ULONG>(bytes->size()), &put), path);
    }
    Check(root->Commit(STGC_DEFAULT), path);
}

int MakeSampleMain(int argc, wchar_t** argv) {
    if (argc != 3) throw kvhost::HostError(E_INVALIDARG, L"make-sample takes one FILE");
    WriteSampleCompoundDocument(argv[2]);
    Out(stdout, L"korvane-sim: wrote " + std::wstring(argv[2]));
    return 0;
}

} // namespace kvsim
