// The image verifier over arbitrary bytes. The verdict must agree with
// boot_image_verify, come with a one-line reason when false, and when true
// the image must be exactly as long as its header says.
#include "boot_image_format.h"
#include "invariant.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size) {
  // A copy of exactly the input's length, so reads past it are caught too.
  std::vector<uint8_t> image(input, input + size);
  boot_image_info info;
  std::string reason = "stale";
  bool ok = boot_image_parse(image.data(), size, &info, &reason);
  if (!ok && reason.empty()) fail("a refused image without a reason");
  if (reason.find('\n') != std::string::npos) fail("a reason of more than one line");
  if (ok && !reason.empty()) fail("a well-formed image with a reason");
  if (ok && (info.expected_size != size || boot_image_announced_size(image.data(), size) != size))
    fail("a well-formed image whose length is not the announced one");

  std::string again;
  if (boot_image_verify(image.data(), size, &again) != ok || again != reason)
    fail("parse and verify disagree");
  if (boot_image_parse(image.data(), size, nullptr, nullptr) != ok)
    fail("the verdict depends on the info or reason being asked for");
  return 0;
}
