#include "application.h"
#include "runner.h"

int main(int argc, char **argv) {
    return ov_main(argc, argv, &OVTestHook::startIfNeeded);
}
