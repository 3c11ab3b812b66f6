#pragma once
// The design layout of the pane's laid-out controls in twips (left, top, width, height), as the
// layout tests set up their stand-ins for the windows.
#include "frmBarLayout.h"

namespace panetest {

struct DesignPlace {
    rud::pane::Ctl control;
    double left, top, width, height;
};

inline constexpr DesignPlace kDesignPlaces[] = {
    {rud::pane::Ctl::Picture1, 0, 0, 5085, 465},      {rud::pane::Ctl::Picture2, 0, 465, 5085, 4335},
    {rud::pane::Ctl::txtFile, 450, 90, 3975, 285},    {rud::pane::Ctl::cmdOpen, 4500, 90, 450, 315},
    {rud::pane::Ctl::TV1, 135, 315, 4785, 2715},      {rud::pane::Ctl::txtValue, 675, 3870, 3345, 330},
    {rud::pane::Ctl::cmdModify, 4050, 3870, 825, 330}, {rud::pane::Ctl::lblValue, 135, 3870, 555, 330},
};

} // namespace panetest
