// SAFEARRAY bounds, multi-dimensional addressing, element ownership and locking.
#include <gtest/gtest.h>

#include "lumora/values.h"
#include "tests/support/counting_unknown.h"

namespace lumora {
namespace {

TEST(SafeArrayTest, VectorBoundsAndIndexChecks) {
  SafeArray array = SafeArray::Vector(VT_I4, 5, 3);
  ASSERT_TRUE(array);
  LONG lower = 0, upper = 0;
  EXPECT_EQ(SafeArrayGetDim(array.get()), 1u);
  ASSERT_EQ(SafeArrayGetLBound(array.get(), 1, &lower), S_OK);
  ASSERT_EQ(SafeArrayGetUBound(array.get(), 1, &upper), S_OK);
  EXPECT_EQ(lower, 5);
  EXPECT_EQ(upper, 7);
  EXPECT_EQ(SafeArrayGetLBound(array.get(), 2, &lower), DISP_E_BADINDEX);
  EXPECT_EQ(SafeArrayGetUBound(array.get(), 0, &upper), DISP_E_BADINDEX);
  VARTYPE vt = VT_EMPTY;
  ASSERT_EQ(SafeArrayGetVartype(array.get(), &vt), S_OK);
  EXPECT_EQ(vt, VT_I4);
  EXPECT_EQ(SafeArrayGetElemsize(array.get()), 4u);

  LONG value = 77;
  for (LONG index : {4, 8}) {
    EXPECT_EQ(SafeArrayPutElement(array.get(), &index, &value), DISP_E_BADINDEX) << index;
    EXPECT_EQ(SafeArrayGetElement(array.get(), &index, &value), DISP_E_BADINDEX) << index;
  }
  LONG index = 7;
  ASSERT_EQ(SafeArrayPutElement(array.get(), &index, &value), S_OK);
  LONG read = 0;
  ASSERT_EQ(SafeArrayGetElement(array.get(), &index, &read), S_OK);
  EXPECT_EQ(read, 77);

  SafeArray none = SafeArray::Vector(VT_BSTR, 0, 0);
  ASSERT_TRUE(none);
  ASSERT_EQ(SafeArrayGetUBound(none.get(), 1, &upper), S_OK);
  EXPECT_EQ(upper, -1) << "an empty vector ends before it starts";
  EXPECT_EQ(SafeArrayCreateVector(VT_VOID, 0, 1), nullptr) << "no array of a type without size";
}

TEST(SafeArrayTest, MultipleDimensionsAddressLeftmostFastest) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 1}};  // [0..1][1..3]
  SafeArray array;
  array.attach(SafeArrayCreate(VT_I2, 2, bounds));
  ASSERT_TRUE(array);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(array.get(), 2, &lower);
  SafeArrayGetUBound(array.get(), 2, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  SafeArrayGetUBound(array.get(), 1, &upper);
  EXPECT_EQ(upper, 1);
  for (LONG i = 0; i <= 1; ++i) {
    for (LONG j = 1; j <= 3; ++j) {
      LONG indices[2] = {i, j};
      SHORT value = static_cast<SHORT>(10 * i + j);
      ASSERT_EQ(SafeArrayPutElement(array.get(), indices, &value), S_OK);
    }
  }
  SHORT* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&data)), S_OK);
  EXPECT_EQ(data[0], 1);   // (0,1)
  EXPECT_EQ(data[1], 11);  // (1,1)
  EXPECT_EQ(data[2], 2);   // (0,2)
  EXPECT_EQ(data[5], 13);  // (1,3)
  SafeArrayUnaccessData(array.get());
  LONG outside[2] = {1, 0};
  SHORT value = 0;
  EXPECT_EQ(SafeArrayGetElement(array.get(), outside, &value), DISP_E_BADINDEX);
}

TEST(SafeArrayTest, StringElementsAreCopiedInAndOut) {
  SafeArray array = SafeArray::OfStrings({"alpha", "beta"});
  ASSERT_TRUE(array);
  Bstr replacement = Bstr::FromUtf8("gamma");
  LONG index = 1;
  ASSERT_EQ(SafeArrayPutElement(array.get(), &index, replacement.get()), S_OK);  // frees "beta"
  EXPECT_EQ(replacement.ToUtf8(), "gamma") << "the caller keeps its own string";
  Bstr read;
  ASSERT_EQ(SafeArrayGetElement(array.get(), &index, read.put()), S_OK);
  EXPECT_EQ(read.ToUtf8(), "gamma");
  EXPECT_NE(read.get(), replacement.get());

  SafeArray copy;
  ASSERT_EQ(SafeArrayCopy(array.get(), copy.put()), S_OK);
  array.reset();  // the copy owns its own strings
  index = 0;
  ASSERT_EQ(SafeArrayGetElement(copy.get(), &index, read.put()), S_OK);
  EXPECT_EQ(read.ToUtf8(), "alpha");
}

TEST(SafeArrayTest, InterfaceAndVariantElementsHoldReferences) {
  testing::CountingUnknown unknown;
  {
    SafeArray objects = SafeArray::Vector(VT_UNKNOWN, 0, 2);
    LONG index = 0;
    ASSERT_EQ(SafeArrayPutElement(objects.get(), &index, &unknown), S_OK);
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(objects.get(), &index, &unknown), S_OK);
    EXPECT_EQ(unknown.held(), 2);
    ASSERT_EQ(SafeArrayPutElement(objects.get(), &index, &unknown), S_OK);  // replaces: release old, add new
    EXPECT_EQ(unknown.held(), 2);
    IUnknown* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects.get(), &index, &out), S_OK);
    EXPECT_EQ(unknown.held(), 3);
    out->Release();

    SafeArray variants = SafeArray::Vector(VT_VARIANT, 0, 1);
    Variant holder;
    holder->vt = VT_UNKNOWN;
    holder->punkVal = &unknown;
    unknown.AddRef();
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(variants.get(), &index, holder.get()), S_OK);
    EXPECT_EQ(unknown.held(), 4);
  }
  EXPECT_EQ(unknown.held(), 0) << "destroying the arrays releases their elements";
}

TEST(SafeArrayTest, LockedArraysCannotBeDestroyed) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
  EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
  Variant holder;
  holder->vt = VT_ARRAY | VT_R8;
  holder->parray = array;
  EXPECT_EQ(VariantClear(holder.get()), DISP_E_ARRAYISLOCKED);
  ASSERT_EQ(SafeArrayUnaccessData(array), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED) << "one unlock too many";
  EXPECT_EQ(VariantClear(holder.get()), S_OK);
  EXPECT_EQ(holder.vt(), VT_EMPTY);
}

}  // namespace
}  // namespace lumora
