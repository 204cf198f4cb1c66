#include "tool/ToolMain.h"

int main(int argc, char** argv) {
    return kolvane::tool::Main(argc, argv);
}
