// The property-set codec on bytes.
#include "PropertySetCodec.h"
#include "host_compound.h"
#include <gtest/gtest.h>

namespace {
using namespace hosttest;
namespace ps = kvhost::propset;
TEST(PropertySetCodec, Placeholder) { SUCCEED(); }
}
