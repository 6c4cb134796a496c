// Linked against the shared C++ runtime on purpose: tools/check-imports.sh must reject it.
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::cout << std::string(argc > 0 ? argv[0] : "") << '\n';
    return 0;
}
