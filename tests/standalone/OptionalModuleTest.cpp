// Modules loaded on first use: found where the program's libraries are, loaded once, and clear
// errors for a module that is missing, lacks its entry, or was built for another interface.
#include <gtest/gtest.h>

#include "standalone/ImageSamples.h"
#include "standalone/OptionalModule.h"

TEST(OptionalModule, LoadsOnceAndNamesWhatIsMissing) {
    std::string error;
    void* first = OptionalModuleEntry("murkwell-tiff.so", "MurkwellTiffEncoder", error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(OptionalModuleEntry("murkwell-tiff.so", "MurkwellTiffEncoder", error), first);

    EXPECT_EQ(OptionalModuleEntry("murkwell-tiff.so", "MurkwellExrEncoder", error), nullptr);
    EXPECT_EQ(error, "the module murkwell-tiff.so has no entry MurkwellExrEncoder (is it from another build?)");
    EXPECT_EQ(OptionalModuleEntry("murkwell-absent.so", "Anything", error), nullptr);
    EXPECT_EQ(error.rfind("the module murkwell-absent.so cannot be loaded: ", 0), 0u) << error;
}

TEST(OptionalModule, ImageWritersAnswerOnlyTheirOwnInterfaceVersion) {
    for (const auto& [module, entry] : {std::pair{"murkwell-tiff.so", "MurkwellTiffEncoder"},
                                        std::pair{"murkwell-exr.so", "MurkwellExrEncoder"}}) {
        std::string error;
        void* address = OptionalModuleEntry(module, entry, error);
        ASSERT_NE(address, nullptr) << error;
        const auto get = reinterpret_cast<ImageEncoderEntry>(address);
        EXPECT_NE(get(kImageEncoderInterface), nullptr) << module;
        EXPECT_EQ(get(kImageEncoderInterface + 1), nullptr) << module;

        // An encoder given no image says so instead of writing.
        char message[64] = "untouched";
        EXPECT_EQ(get(kImageEncoderInterface)(nullptr, nullptr, message, sizeof message), 0) << module;
        EXPECT_STREQ(message, "no image to write") << module;
    }
}
