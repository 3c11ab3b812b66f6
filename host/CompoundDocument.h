#pragma once
// A compound file (OLE structured storage) as a document of the host: each property set of its
// root ("\005SummaryInformation", "\005DocumentSummaryInformation" with its user-defined second
// section, any other "\005..." stream) is a property set of the object model, named as users know
// it ("SummaryInformation" with "Title", "Author", ...; "DocumentSummaryInformation";
// "UserDefined" with the names of its dictionary; others by format id, "{...}"). Values are the
// VARIANTs they convert to (strings BSTR, FILETIME a date, vectors arrays of variants, blobs and
// clipboard data arrays of bytes); what cannot be written back is read-only.
#include "DocumentModel.h"
#include "PropertySetCodec.h"
#include <memory>

namespace kvhost {

// By content: the compound-file signature D0 CF 11 E0 A1 B1 1A E1. False for a file that cannot
// be read (the caller's own read then says why); HostError for one another program holds locked.
bool IsCompoundFile(const std::wstring& path);

class CompoundDocument {
public:
    // Reads every property set at the file's root. A file open in another program is read through
    // a copy. HostError, its description one line naming the file, when the file is no compound
    // file, is encrypted, is locked, is cut short, or holds a property set that lies about its sizes.
    static std::shared_ptr<CompoundDocument> Open(const std::wstring& path, DocumentContent& content);

    // The value the property holds once the add-in writes v; HostError when the property is
    // read-only or the value has no form in a property set.
    rud::Variant Accept(size_t set, size_t prop, const VARIANT& v) const;

    // Writes the property sets whose values differ from the file's into the file: a copy of the
    // file takes the changed streams and then replaces the original in one step; every other
    // stream and property stays byte for byte. HostError (nothing changed) when the file is
    // read-only, locked or cannot be written.
    void Save(const std::wstring& path, const DocumentContent& next);

    bool ReadOnly(size_t set, size_t prop) const;

private:
    struct SetLink {
        size_t stream = 0;
        size_t section = 0;
        std::vector<size_t> properties;  // index in the section for each property of the set
    };
    const propset::Property& Stored(size_t set, size_t prop) const;

    std::vector<std::wstring> streamNames_;
    std::vector<propset::Stream> streams_;
    std::vector<SetLink> sets_;
    DocumentContent stored_;  // the values as the file holds them
};

} // namespace kvhost
