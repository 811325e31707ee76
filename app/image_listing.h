// What `halden info` shows of an image: its size, header and every record the walk finds,
// up to a fault. Any bytes are listed without reading outside them.
#pragma once

#include <string>
#include <vector>

#include "engine/image.h"

namespace halden {

std::vector<std::string> describeImage(const std::string& name, ByteView image);

}  // namespace halden
