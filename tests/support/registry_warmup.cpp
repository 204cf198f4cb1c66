#include <gst/gst.h>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
    kolvane::test::SetUpIsolatedEnvironment();
    return gst_init_check(&argc, &argv, nullptr) ? 0 : 1;
}
