// The image verifier over arbitrary bytes. The reason buffer is exactly as
// large as the input's length picks (none at all for 0), so that a reason
// written past its end is caught. The verdict must agree with
// boot_image_verify, come with a reason when false, and when true the image
// must be exactly as long as its header says.
#include "boot_image_format.h"
#include "invariant.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, std::size_t size) {
  // A copy of exactly the input's length, so reads past it are caught too.
  std::vector<uint8_t> image(input, input + size);
  std::size_t reason_size = size % 97;
  std::vector<char> reason(reason_size);
  char *reason_ptr = reason_size ? reason.data() : nullptr;

  boot_image_info info;
  bool ok = boot_image_parse(image.data(), size, &info, reason_ptr, reason_size);
  if (reason_size && (std::memchr(reason.data(), 0, reason_size) == nullptr))
    fail("a reason that is not terminated inside its buffer");
  if (!ok && reason_size > 1 && reason[0] == '\0') fail("a refused image without a reason");
  if (ok && (info.expected_size != size || boot_image_announced_size(image.data(), size) != size))
    fail("a well-formed image whose length is not the announced one");

  char again[128];
  if (boot_image_verify(image.data(), size, again, sizeof again) != ok)
    fail("parse and verify disagree");
  if (boot_image_parse(image.data(), size, nullptr, nullptr, 0) != ok)
    fail("the verdict depends on the info or reason buffers");
  return 0;
}
