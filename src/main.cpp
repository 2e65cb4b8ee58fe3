#include "kronmark.h"

int main(int argc, char **argv)
{
    platform_arguments(&argc, &argv);
    return kronmark_main(argc, argv);
}
