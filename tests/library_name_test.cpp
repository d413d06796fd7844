// The file names a script's library name stands for, on this system and
// with the suffix of another.
#include "platform/library_name.h"

#include <gtest/gtest.h>

namespace {

TEST(LibraryFileNames, SuffixAddedToBareNamesAndPutInPlaceOfDll)
{
    using Names = std::vector<std::string>;
    const struct {
        const char* name;
        const char* suffix;
        Names expected;
    } cases[] = {
        {"lumafold", ".so", {"lumafold.so", "lumafold"}},
        {"plugins/fx", ".so", {"plugins/fx.so", "plugins/fx"}},
        {"my.folder/fx", ".so", {"my.folder/fx.so", "my.folder/fx"}},
        {"lumafold.dll", ".so", {"lumafold.dll", "lumafold.so"}},
        {"Lumafold.DLL", ".so", {"Lumafold.DLL", "Lumafold.so"}},
        {"lumafold.so", ".so", {"lumafold.so"}},
        {"fx.plugin", ".so", {"fx.plugin"}},
        {".dll", ".so", {".dll"}},
        {"lumafold", ".dll", {"lumafold.dll", "lumafold"}},
        {"lumafold.dll", ".dll", {"lumafold.dll"}},
        {"c:\\fx\\lumafold", ".dll", {"c:\\fx\\lumafold.dll", "c:\\fx\\lumafold"}},
        {"", ".so", {}},
        {nullptr, ".so", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::libraryFileNames(c.name, c.suffix), c.expected) << (c.name ? c.name : "(null)");
        // Without a suffix given, this system's own.
#ifdef _WIN32
    EXPECT_EQ(platform::libraryFileNames("lumafold"), (Names{"lumafold.dll", "lumafold"}));
#else
    EXPECT_EQ(platform::libraryFileNames("lumafold"), (Names{"lumafold.so", "lumafold"}));
#endif
}

} // namespace
