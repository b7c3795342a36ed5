// The image the build hands to the host: well formed, and the same bytes as
// the packed file.
#include "boot_image.h"
#include "boot_image_format.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>

TEST(ImageBuilt, HostCarriesAWellFormedImage) {
  std::string reason;
  EXPECT_TRUE(boot_image_verify(boot_image, BOOT_IMAGE_SIZE, &reason)) << reason;
  EXPECT_TRUE(boot_image_code_fits(BOOT_IMAGE_SIZE - 0x204));

  std::string bytes = read_file(BOOT_IMAGE_FILE);
  ASSERT_EQ(BOOT_IMAGE_SIZE, bytes.size()) << BOOT_IMAGE_FILE;
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(boot_image), BOOT_IMAGE_SIZE), bytes);
}
