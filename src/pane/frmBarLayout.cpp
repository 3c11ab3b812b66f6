#include "frmBarLayout.h"
#include "Text.h"
#include "AddInError.h"
#include <cmath>
#include <limits>

namespace rud::pane {

long RoundHalfEven(double x) {
    // nearbyint rounds in the current mode, which is to nearest with ties to even.
    double r = std::nearbyint(x);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        throw AddInError(6, L"Overflow");
    return static_cast<long>(r);
}

double RoundClamp(double x) { return static_cast<double>(MaxLong(RoundHalfEven(x), 0)); }

// Every read is a statement of its own so that the order of reads is the written one.

void LayoutFormResize(LayoutTarget& t) {
    const double formHeight = t.Read(Ctl::Form, Dim::ScaleHeight);
    const double stripHeight = t.Read(Ctl::Picture1, Dim::Height);
    t.Write(Ctl::Picture2, Dim::Height, RoundClamp(formHeight - stripHeight));
}

void LayoutPicture1Resize(LayoutTarget& t) {
    double w = t.Read(Ctl::Form, Dim::ScaleWidth);
    double openWidth = t.Read(Ctl::cmdOpen, Dim::Width);
    t.Write(Ctl::cmdOpen, Dim::Left, RoundClamp(w - openWidth - 20));

    w = t.Read(Ctl::Form, Dim::ScaleWidth);
    const double fileLeft = t.Read(Ctl::txtFile, Dim::Left);
    openWidth = t.Read(Ctl::cmdOpen, Dim::Width);
    t.Write(Ctl::txtFile, Dim::Width, RoundClamp(w - fileLeft - openWidth - 60));
}

void LayoutPicture2Resize(LayoutTarget& t) {
    const double pw = t.Read(Ctl::Picture2, Dim::ScaleWidth);
    const double ph = t.Read(Ctl::Picture2, Dim::ScaleHeight);
    t.Move(Ctl::TV1, 80, 350, RoundClamp(pw - 140), RoundClamp(ph - 800));

    // From here on the tree's position is the one it actually took.
    double treeTop = t.Read(Ctl::TV1, Dim::Top);
    double treeHeight = t.Read(Ctl::TV1, Dim::Height);
    t.Write(Ctl::cmdModify, Dim::Top, treeTop + treeHeight + 40);

    const double treeLeft = t.Read(Ctl::TV1, Dim::Left);
    const double treeWidth = t.Read(Ctl::TV1, Dim::Width);
    double modifyWidth = t.Read(Ctl::cmdModify, Dim::Width);
    t.Write(Ctl::cmdModify, Dim::Left, RoundClamp(treeLeft + treeWidth - modifyWidth - 20));

    double modifyTop = t.Read(Ctl::cmdModify, Dim::Top);
    t.Write(Ctl::txtValue, Dim::Top, modifyTop + 20);

    const double pw2 = t.Read(Ctl::Picture2, Dim::ScaleWidth);
    const double valueLeft = t.Read(Ctl::txtValue, Dim::Left);
    modifyWidth = t.Read(Ctl::cmdModify, Dim::Width);
    t.Write(Ctl::txtValue, Dim::Width, RoundClamp(pw2 - valueLeft - modifyWidth - 100));

    modifyTop = t.Read(Ctl::cmdModify, Dim::Top);
    t.Write(Ctl::lblValue, Dim::Top, modifyTop + 50);
}

} // namespace rud::pane
