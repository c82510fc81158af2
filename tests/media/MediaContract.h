#pragma once

// What every media layer promises the play loop, on the movies
// tests/media/make_movies.sh makes (every container and codec the saver
// meets, HDR, broken files): each media test program instantiates the
// suite with its layer and says where those movies are as the layer is
// given them.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "playback/MediaFramework.h"

namespace tavelune::test {

struct TMediaLayerUnderTest {
  std::string Name;
  std::function<std::unique_ptr<IMediaFramework>()> Create;
  // The full name of a movie make_movies.sh made, as the layer is given it.
  std::function<std::string(const std::string& name)> Movie;
};

inline void PrintTo(const TMediaLayerUnderTest& layer, std::ostream* out) {
  *out << layer.Name;
}

class MediaLayerContract : public ::testing::TestWithParam<TMediaLayerUnderTest> {
 protected:
  std::string Movie(const std::string& name) const { return GetParam().Movie(name); }
  std::unique_ptr<IMediaFramework> Create() const { return GetParam().Create(); }
};

// The instantiation's name: the layer's.
inline std::string MediaLayerName(const ::testing::TestParamInfo<TMediaLayerUnderTest>& info) {
  return info.param.Name;
}

}  // namespace tavelune::test
