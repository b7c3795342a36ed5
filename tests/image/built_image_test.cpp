// The image the build hands to the host: well formed, and the same bytes as
// the packed file.
#include "boot_image.h"
#include "boot_image_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

TEST(ImageBuilt, HostCarriesAWellFormedImage)
{
    char reason[200] = "";
    EXPECT_TRUE(boot_image_verify(boot_image, BOOT_IMAGE_SIZE, reason, sizeof reason)) << reason;
    EXPECT_TRUE(boot_image_code_fits(BOOT_IMAGE_SIZE - 0x204));

    std::ifstream f(BOOT_IMAGE_FILE, std::ios::binary);
    ASSERT_TRUE(f.good()) << BOOT_IMAGE_FILE;
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), BOOT_IMAGE_SIZE);
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char *>(boot_image), BOOT_IMAGE_SIZE));
}
