// lnggen: writes a language catalogue as a resource-script string table.
//   lnggen CATALOGUE OUTPUT.rc
// Refuses a catalogue that cannot be read cleanly; the rules of the host
// interface are lngcheck's business.
#include <cstdio>
#include <fstream>

#include "langpack/catalogue.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lnggen CATALOGUE OUTPUT.rc\n");
        return 2;
    }
    lng::Catalogue catalogue;
    std::vector<lng::Breach> breaches;
    if (!lng::ReadCatalogue(argv[1], catalogue, breaches)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 2;
    }
    for (const lng::Breach& breach : breaches)
        std::fprintf(stderr, "%s: %s\n", argv[1], lng::Describe(breach).c_str());
    if (!breaches.empty()) return 1;

    std::string name = argv[1];
    name = name.substr(name.find_last_of('/') + 1);
    std::ofstream out(argv[2], std::ios::binary);
    out << lng::StringTableScript(catalogue, name);
    out.close();
    if (!out) {
        std::fprintf(stderr, "%s: cannot write\n", argv[2]);
        std::remove(argv[2]);
        return 2;
    }
    return 0;
}
