// Asserts that a call raises exactly the class E (not a subclass) with the
// given message: users see the text and callers catch by class.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <typeinfo>

#include "pdf/objects/vxExceptions.h"

namespace vxtest {

template <typename E, typename F>
void ExpectError(F&& Call, std::string_view Message) {
  try {
    Call();
    ADD_FAILURE() << "no exception, expected \"" << Message << "\"";
  } catch (const vx::Exception& Ex) {
    EXPECT_EQ(typeid(Ex), typeid(E)) << "raised " << typeid(Ex).name() << ": " << Ex.Message();
    EXPECT_EQ(Ex.Message(), Message);
  }
}

}  // namespace vxtest
