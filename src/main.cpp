#include "link/startup.h"

int main(int argc, char **argv)
{
    return KestrelMain(argc, argv);
}
