// Stands in for the user's browser in the web pages test: the shell starts it for an address, and it
// adds that address as a line to the file named before it.
#include <fstream>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::ofstream(argv[1], std::ios::binary | std::ios::app) << argv[2] << "\n";
    return 0;
}
