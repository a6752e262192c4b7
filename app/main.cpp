#include "application.h"

int main(int argc, char **argv) {
    return ov_main(argc, argv);
}
