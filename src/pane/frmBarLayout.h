#pragma once
// The resize arithmetic of the pane form, apart from any window: the handlers read and write the
// positions of the form's controls through a LayoutTarget, in a fixed order, each read giving the
// value the control holds at that moment (so later steps see what earlier steps set).
#include <cstdint>

namespace rud::pane {

enum class Ctl { Form, Picture1, Picture2, TV1, txtFile, cmdOpen, txtValue, cmdModify, lblValue };
// Left, Top, Width and Height are outer; ScaleWidth and ScaleHeight the inner area. All twips.
enum class Dim { Left, Top, Width, Height, ScaleWidth, ScaleHeight };

class LayoutTarget {
public:
    virtual ~LayoutTarget() = default;
    virtual double Read(Ctl control, Dim dim) = 0;
    // Left, Top, Width or Height.
    virtual void Write(Ctl control, Dim dim, double value) = 0;
    // All four in one operation.
    virtual void Move(Ctl control, double left, double top, double width, double height) = 0;
};

// Nearest 32-bit integer, halves to the even neighbour; error 6 (overflow) outside the range.
long RoundHalfEven(double x);
// round(x), then at least 0, as a position.
double RoundClamp(double x);

// Form_Resize, its layout step: Picture2 height := clamp(round(form inner height - Picture1 height)).
void LayoutFormResize(LayoutTarget& t);
// Picture1_Resize: cmdOpen left, then txtFile width, from the form's inner width.
void LayoutPicture1Resize(LayoutTarget& t);
// Picture2_Resize: the tree, then cmdModify, txtValue and lblValue below it.
void LayoutPicture2Resize(LayoutTarget& t);

} // namespace rud::pane
