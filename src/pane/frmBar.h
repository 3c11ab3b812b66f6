#pragma once
// frmBar: the pane form shown in a document's VaneBar page.
#include "DocumentAccess.h"
#include "Module.h"
#include <windows.h>
#include <ole2.h>
#include <oaidl.h>
#include <memory>
#include <string>

namespace rud::pane {

// Forms are shared objects: the registry, and every window procedure while it runs, hold a
// reference. Unloading destroys the window; the form ends (Form_Terminate) with its last reference.
class frmBar : public std::enable_shared_from_this<frmBar> {
public:
    // A new form, not loaded yet (no window), that reads and writes its document through
    // `documents` (kept for the form's life).
    static std::shared_ptr<frmBar> Create(std::shared_ptr<DocumentAccess> documents);
    ~frmBar();  // Form_Terminate

    // Creates the window and its controls at the design layout and runs Form_Load.
    void Load();
    // Runs Form_Unload and destroys the window; the form stays alive while referenced.
    void Unload();
    bool IsLoaded() const noexcept;
    // The form's top-level window (null when not loaded).
    HWND hWnd() const noexcept;
    // ShowWindow(hWnd(), SW_SHOWMAXIMIZED), laid out before it becomes visible.
    void ShowMaximized() noexcept;

    // The host's page window that holds this form: borrowed (the host makes and destroys it);
    // written and read by the registry only.
    HWND hVaneBarWnd = nullptr;

    // Binds the form to the application and its document and fills the file name and the tree.
    // Fails (throws) only when the first trace step fails; other failures end in the report.
    void InitForm(IDispatch* oKVApp, IDispatch* theDocument);

    // What InitForm runs; each fails through the error stack (AddInError).
    void RefreshFilename();
    void RefreshPropertyTree();

    // Event handlers, run by the form's window procedures (public so that a test can run one
    // where no control can, as with an empty selection).
    void TV1_Click();
    void cmdModify_Click();
    void cmdOpen_Click();

    // The document the form is bound to (m_Document) and the property last chosen in the tree
    // (m_PropSetName, m_PropName): what Modify writes to.
    IDispatch* Document() const noexcept;
    const std::wstring& ChosenSetName() const noexcept;
    const std::wstring& ChosenPropertyName() const noexcept;

    // The controls and fields (frmBarParts.h). Declared here so that the form's own helpers can
    // name them; no member hands them out.
    struct Parts;

private:

    explicit frmBar(std::shared_ptr<DocumentAccess> documents);
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Form_Terminate();
    void Picture1_Resize();
    void Picture2_Resize();

    // The form's window procedures and handlers are the DLL's code: it stays while the form does.
    module::ModuleLock holdsTheModule_;
    std::shared_ptr<DocumentAccess> documents_;
    std::unique_ptr<Parts> impl_;
};

} // namespace rud::pane
