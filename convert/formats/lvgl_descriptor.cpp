#include "lvgl_descriptor.h"

#include "display_header.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// LVGL 9's texts.
const char lvgl9Includes[] = R"(#if defined(LV_LVGL_H_INCLUDE_SIMPLE)
#include "lvgl.h"
#elif defined(LV_LVGL_H_INCLUDE_SYSTEM)
#include <lvgl.h>
#else
#include "lvgl/lvgl.h"
#endif

)";
const char lvgl9Descriptor[] = R"(

${static}const lv_image_dsc_t ${name} = {
#if defined(LV_BIG_ENDIAN_SYSTEM) && LV_BIG_ENDIAN_SYSTEM
  {0, ${stride}, ${h}, ${w}, ${flags}, ${cf}, LV_IMAGE_HEADER_MAGIC}, /* reserved_2, stride, h, w, flags, cf, magic */
#else
  {LV_IMAGE_HEADER_MAGIC, ${cf}, ${flags}, ${w}, ${h}, ${stride}, 0}, /* magic, cf, flags, w, h, stride, reserved_2 */
#endif
  sizeof(${name}_map), /* data_size */
  ${name}_map, /* data */
#if LVGL_VERSION_MAJOR == 9 && LVGL_VERSION_MINOR == 0
#elif LVGL_VERSION_MAJOR == 9 && LVGL_VERSION_MINOR <= 2
  NULL, /* reserved */
#else
  NULL, /* reserved */
  NULL, /* reserved_2 */
#endif
};
)";

// LVGL 8's.
const char lvgl8Includes[] = R"(#ifdef __has_include
#if __has_include("lvgl.h")
#ifndef LV_LVGL_H_INCLUDE_SIMPLE
#define LV_LVGL_H_INCLUDE_SIMPLE
#endif
#endif
#endif

#if defined(LV_LVGL_H_INCLUDE_SIMPLE)
#include "lvgl.h"
#else
#include "lvgl/lvgl.h"
#endif

)";
const char lvgl8Descriptor[] = R"(

${static}const lv_img_dsc_t ${name} = {
#if defined(LV_BIG_ENDIAN_SYSTEM) && LV_BIG_ENDIAN_SYSTEM
  {${h}, ${w}, 0, 0, ${cf}}, /* h, w, reserved, always_zero, cf */
#else
  {${cf}, 0, 0, ${w}, ${h}}, /* cf, always_zero, reserved, w, h */
#endif
  sizeof(${name}_map), /* data_size */
  ${name}_map, /* data */
};
)";

// What differs from one version of LVGL to the other.
struct LvglVersionTexts
{
    int version;
    const char *type; // the descriptor's
    const char *screen; // the active screen
    // The choice of LVGL's header, as LVGL's own converter writes it.
    const char *includes;
    const char *drawing; // the comment's line that draws the image
    // The descriptor after the map; `static` is "static " in a single header, else empty.
    const char *descriptor;
};

const LvglVersionTexts versions[] = {
    {/* version = */ 9, /* type = */ "lv_image_dsc_t", /* screen = */ "lv_screen_active()",
     /* includes = */ lvgl9Includes,
     /* drawing = */ "LVGL 9: lv_image_set_src(lv_image_create(lv_screen_active()), &${name});",
     /* descriptor = */ lvgl9Descriptor},
    {/* version = */ 8, /* type = */ "lv_img_dsc_t", /* screen = */ "lv_scr_act()",
     /* includes = */ lvgl8Includes,
     /* drawing = */ "LVGL 8: lv_img_set_src(lv_img_create(lv_scr_act()), &${name});",
     /* descriptor = */ lvgl8Descriptor},
};

// The texts of every version alike.
const char attributes[] = R"(#ifndef LV_ATTRIBUTE_MEM_ALIGN
#define LV_ATTRIBUTE_MEM_ALIGN
#endif

#ifndef ${attribute}
#define ${attribute}
#endif

)";
const char colourDepthCheck[] = R"(#if LV_COLOR_DEPTH != 16
#error "${name}: this array is made for LV_COLOR_DEPTH 16"
#endif

)";
const char mapDeclaration[] = "const LV_ATTRIBUTE_MEM_ALIGN LV_ATTRIBUTE_LARGE_CONST ${attribute} uint8_t";
const char descriptorDeclaration[] = "extern const ${type} ${name};\n";
const char animation[]
    = "LVGL ${version}: lv_obj_t *anim = lv_animimg_create(${screen}); lv_animimg_set_src(anim, (const void "
      "**)${name}_frames, ${name}_frame_count); lv_animimg_set_duration(anim, ${duration}); "
      "lv_animimg_set_repeat_count(anim, LV_ANIM_REPEAT_INFINITE); lv_animimg_start(anim);";
const char animationTiming[] = "lv_animimg shows each frame for the same time, the animation's duration "
                               "divided by their number; ${name}_delays_ms keeps each one's own.";
const char frameTable[] = R"(
${static}const ${type} *const ${name}_frames[${count}] = {${addresses}
};
)";
const char frameTableDeclaration[] = "extern const ${type} *const ${name}_frames[${count}];\n";

// LVGL 9's, unless `version` is 8.
const LvglVersionTexts &textsOf(int version)
{
    for (const LvglVersionTexts &texts : versions) {
        if (texts.version == version)
            return texts;
    }
    return versions[0];
}

using Fields = std::vector<std::pair<const char *, QByteArray>>;

// `text` with each ${field} replaced by its value, and its lines ended as a header's are.
QByteArray filled(const char *text, const Fields &fields)
{
    QByteArray out;
    for (const char *at = text; *at;) {
        const char *plain = at + std::strcspn(at, "$\n"); // the text up to a field or a line's end
        out.append(at, int(plain - at));
        at = plain;
        const char *end = at[0] == '$' && at[1] == '{' ? std::strchr(at, '}') : nullptr;
        if (end) {
            const QByteArray field(at + 2, int(end - at - 2));
            const auto found = std::find_if(fields.begin(), fields.end(),
                                            [&](const auto &named) { return field == named.first; });
            Q_ASSERT_X(found != fields.end(), "filled", "a field the template names is not given");
            if (found != fields.end())
                out += found->second;
            at = end + 1;
        } else if (*at == '\n') {
            out += headerNewline;
            ++at;
        } else if (*at) { // a $ of the text itself
            out += *at++;
        }
    }
    return out;
}

Fields fieldsOf(const LvglImage &image)
{
    return {{"name", image.name},
            {"type", textsOf(image.version).type},
            {"attribute", "LV_ATTRIBUTE_" + image.name.toUpper()},
            {"cf", image.colourFormat},
            {"w", QByteArray::number(image.size.width())},
            {"h", QByteArray::number(image.size.height())},
            {"stride", QByteArray::number(image.stride)},
            {"flags", image.compressed ? "0 | LV_IMAGE_FLAGS_COMPRESSED" : "0"}};
}

// The image header of LVGL 9's .bin files, lv_image_header_t: the magic, the colour format, the
// flags, then the width, the height and the stride, 16 bits each, and 16 reserved bits.
QByteArray lvgl9FileHeader(const LvglImage &image)
{
    QByteArray header(12, '\0');
    header[0] = char(0x19); // LV_IMAGE_HEADER_MAGIC
    header[1] = char(image.colourFormatNumber);
    qToLittleEndian<quint16>(image.compressed ? 0x0008 : 0, header.data() + 2); // LV_IMAGE_FLAGS_COMPRESSED
    qToLittleEndian<quint16>(quint16(image.size.width()), header.data() + 4);
    qToLittleEndian<quint16>(quint16(image.size.height()), header.data() + 6);
    qToLittleEndian<quint16>(quint16(image.stride), header.data() + 8);
    return header;
}

// LVGL 8's lv_img_header_t, 32 bits: the colour format in the lowest 5, then 3 always zero and
// 2 reserved, the width in 11 bits and the height in the highest 11.
QByteArray lvgl8FileHeader(const LvglImage &image)
{
    QByteArray header(4, '\0');
    qToLittleEndian<quint32>(quint32(image.colourFormatNumber) | quint32(image.size.width()) << 10
                                 | quint32(image.size.height()) << 21,
                             header.data());
    return header;
}

} // namespace

CHeader lvglHeader(const LvglImage &image)
{
    const LvglVersionTexts &texts = textsOf(image.version);
    Fields fields = fieldsOf(image);
    CHeader header;
    header.name = image.name;
    header.commentLines << filled(texts.drawing, fields);
    header.preamble = filled(texts.includes, fields);
    header.definitionPreamble = filled(attributes, fields);
    if (image.trueColour)
        header.definitionPreamble += filled(colourDepthCheck, fields);
    header.trailerDeclaration = filled(descriptorDeclaration, fields);
    fields.push_back({"static", QByteArray()});
    header.trailer = filled(texts.descriptor, fields);
    fields.back().second = "static ";
    header.singleTrailer = filled(texts.descriptor, fields);
    return header;
}

CArray lvglMap(const LvglImage &image, QByteArray data, QImage storage, QByteArray swapped)
{
    CArray map;
    map.type = CArray::Uint8;
    map.name = image.name + "_map";
    map.size = QByteArray::number(data.size());
    map.declaration = filled(mapDeclaration, fieldsOf(image));
    map.internal = true; // read through the descriptor only
    map.data = std::move(data);
    map.storage = std::move(storage);
    if (image.trueColour) {
        map.alternativeCondition = "LV_COLOR_16_SWAP != 0";
        map.alternativeData = std::move(swapped);
    }
    return map;
}

QByteArray lvglFileHeader(const LvglImage &image)
{
    return image.version == 8 ? lvgl8FileHeader(image) : lvgl9FileHeader(image);
}

QVector<QByteArray> lvglAnimationLines(int version, const QByteArray &name, qint64 durationMs)
{
    const LvglVersionTexts &texts = textsOf(version);
    const Fields fields = {{"version", QByteArray::number(texts.version)},
                           {"screen", texts.screen},
                           {"name", name},
                           {"duration", QByteArray::number(durationMs)}};
    return {filled(animation, fields), filled(animationTiming, fields)};
}

void addLvglFrameTable(int version, const QByteArray &name, int count, const QByteArray &addresses,
                       CHeader *header)
{
    Fields fields = {{"name", name},
                     {"type", textsOf(version).type},
                     {"count", QByteArray::number(count)},
                     {"addresses", addresses},
                     {"static", QByteArray()}};
    header->trailer += filled(frameTable, fields);
    header->trailerDeclaration += filled(frameTableDeclaration, fields);
    fields.back().second = "static ";
    header->singleTrailer += filled(frameTable, fields);
}
