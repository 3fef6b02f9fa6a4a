// lngcheck: checks a language catalogue against the host interface of
// Korvane. Reports every breach with its message ID; exit code 0 when the
// catalogue is sound, 1 when it breaks a rule, 2 on usage or input errors.
//   lngcheck CATALOGUE INTERFACE
#include <cstdio>

#include "langpack/catalogue.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: lngcheck CATALOGUE INTERFACE\n");
        return 2;
    }
    lng::HostInterface host;
    std::string errors = lng::ReadInterface(argv[2], host);
    if (!errors.empty()) {
        std::fprintf(stderr, "%s: %s", argv[2], errors.c_str());
        return 2;
    }
    lng::Catalogue catalogue;
    std::vector<lng::Breach> breaches;
    if (!lng::ReadCatalogue(argv[1], catalogue, breaches)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[1]);
        return 2;
    }
    std::vector<lng::Breach> more = lng::Check(catalogue, host);
    breaches.insert(breaches.end(), more.begin(), more.end());
    for (const lng::Breach& breach : breaches)
        std::printf("%s: %s\n", argv[1], lng::Describe(breach).c_str());
    std::printf("%s: %zu texts, %zu breaches\n", argv[1], catalogue.texts.size(), breaches.size());
    return breaches.empty() ? 0 : 1;
}
