#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/codecfactory.h"
#include "tests/imaging/imaging_test_support.h"

namespace {

class TypeByName : public ::testing::TestWithParam<std::pair<const char*, ImageType>> {};

TEST_P(TypeByName, ExtensionAfterTheLastDotDecides) {
    const auto [name, type] = GetParam();
    EXPECT_EQ(ImageTypeFromExtension(name), type) << (name ? name : "null");
    EXPECT_EQ(GetCodecFactory()->ImageTypeFromFileName(name), type);
}

INSTANTIATE_TEST_SUITE_P(
    Names, TypeByName,
    ::testing::Values(std::pair{"a.GIF", IMG_GIF}, std::pair{"a.gif", IMG_GIF},
                      std::pair{"/x/y.JPEG", IMG_JPEG}, std::pair{"y.jpg", IMG_JPEG},
                      std::pair{"t.tiff", IMG_TIFF}, std::pair{"t.tif", IMG_TIFF},
                      std::pair{"f.Tga", IMG_TGA}, std::pair{"f.bmp", IMG_BMP},
                      std::pair{"a.b.png", IMG_PNG}, std::pair{"x.ico", IMG_ICO},
                      std::pair{"x.pcx", IMG_PCX}, std::pair{"x.psd", IMG_PSD},
                      std::pair{"x.xpm", IMG_XPM}, std::pair{"x.ntu", IMG_NTU},
                      std::pair{"/old.files/frame", IMG_UNKNOWN}, std::pair{"frame", IMG_UNKNOWN},
                      std::pair{"frame.", IMG_UNKNOWN}, std::pair{"frame.gif ", IMG_UNKNOWN},
                      std::pair{"frame.gıf", IMG_UNKNOWN},
                      std::pair{static_cast<const char*>(nullptr), IMG_UNKNOWN}));

TEST(PropertyBag, SetReplacesOrAppendsInOrder) {
    CPropertyBag bag;
    EXPECT_EQ(bag.Get(PROP_QUALITY), "");
    bag.Set(PROP_QUALITY, "90");
    bag.Set(7, "seven");
    bag.Set(PROP_QUALITY, "-1");
    ASSERT_EQ(bag.GetCount(), 2u);
    EXPECT_EQ(bag.GetKeyAt(0), PROP_QUALITY);
    EXPECT_EQ(bag.Get(PROP_QUALITY), "-1");
    EXPECT_EQ(bag.GetValueAt(1), "seven");
}

// A factory that counts its own deletions.
class CountingFactory : public CAppCodecFactory {
  public:
    explicit CountingFactory(int* deleted) : deleted_(deleted) {}
    ~CountingFactory() override { ++*deleted_; }

  private:
    int* deleted_;
};

TEST(CodecFactory, ReplacementTakesOwnershipAndKeepsTheCurrentOne) {
    CCodecFactory* first = GetCodecFactory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetCodecFactory(), first);

    int deletedA = 0;
    int deletedB = 0;
    auto* a = new CountingFactory(&deletedA);
    EXPECT_EQ(SetCodecFactory(a), a);
    EXPECT_EQ(SetCodecFactory(a), a);
    EXPECT_EQ(SetCodecFactory(nullptr), a);
    EXPECT_EQ(deletedA, 0);
    auto* b = new CountingFactory(&deletedB);
    EXPECT_EQ(SetCodecFactory(b), b);
    EXPECT_EQ(deletedA, 1);
    EXPECT_EQ(deletedB, 0);
    SetCodecFactory(new CDefaultCodecFactory);
    EXPECT_EQ(deletedB, 1);
}

TEST(CodecFactory, CodecsByType) {
    CDefaultCodecFactory byDefault;
    CAppCodecFactory app;
    for (ImageType t : {IMG_BMP, IMG_JPEG, IMG_GIF, IMG_TGA, IMG_TIFF, IMG_PNG}) {
        EXPECT_NE(byDefault.CreateCodec(t), nullptr) << t;
        EXPECT_NE(app.CreateCodec(t), nullptr) << t;
    }
    for (ImageType t : {IMG_UNKNOWN, IMG_PCX, IMG_PSD, IMG_XPM, IMG_NTU}) {
        EXPECT_EQ(byDefault.CreateCodec(t), nullptr) << t;
        EXPECT_EQ(app.CreateCodec(t), nullptr) << t;
    }
    EXPECT_NE(byDefault.CreateCodec(IMG_ICO), nullptr);
    EXPECT_EQ(app.CreateCodec(IMG_ICO), nullptr);
}

class SaveByName : public ScratchFolder {};

TEST_F(SaveByName, UnsupportedExtensionsFailWithoutAFileUnderEitherFactory) {
    CPixelImage image = PatternImage(4, 4, 24);
    for (bool app : {false, true}) {
        if (app)
            SetCodecFactory(new CAppCodecFactory);
        else
            SetCodecFactory(new CDefaultCodecFactory);
        for (const char* name : {"f.pcx", "f.psd", "f.xpm", "f.ntu", "f.ico", "f", "f.webp"}) {
            EXPECT_FALSE(image.SaveToFile(PathOf(name).c_str(), -1)) << name;
            EXPECT_FALSE(std::filesystem::exists(PathOf(name))) << name;
        }
    }
    SetCodecFactory(new CDefaultCodecFactory);
}

TEST_F(SaveByName, EachSupportedExtensionWritesItsFormat) {
    const struct {
        const char* name;
        std::vector<BYTE> magic;
    } cases[] = {{"f.bmp", {'B', 'M'}},        {"f.tga", {12, 0, 2}},
                 {"f.gif", {'G', 'I', 'F'}},   {"f.JPG", {0xFF, 0xD8}},
                 {"f.jpeg", {0xFF, 0xD8}},     {"f.png", {0x89, 'P', 'N', 'G'}},
                 {"f.tif", {'I', 'I', 42, 0}}, {"f.tiff", {'I', 'I', 42, 0}}};
    CPixelImage image = PatternImage(9, 5, 32);
    for (const auto& c : cases) {
        ASSERT_TRUE(image.SaveToFile(PathOf(c.name).c_str(), -1)) << c.name;
        const std::vector<BYTE> bytes = ReadBytes(PathOf(c.name));
        ASSERT_GE(bytes.size(), c.magic.size());
        EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), bytes.begin())) << c.name;
    }
}

TEST_F(SaveByName, EmptyImagesAndMissingNamesFail) {
    CPixelImage empty;
    EXPECT_FALSE(empty.SaveToFile(PathOf("e.bmp").c_str(), -1));
    CPixelImage image = PatternImage(2, 2, 24);
    EXPECT_FALSE(image.SaveToFile(nullptr, -1));
    EXPECT_FALSE(image.SaveWithProperties(nullptr, nullptr));
    EXPECT_TRUE(image.SaveWithProperties(PathOf("p.png").c_str(), nullptr));
    EXPECT_FALSE(std::filesystem::exists(PathOf("e.bmp")));
}

}  // namespace
