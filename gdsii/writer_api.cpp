// The writer's operations as free functions on the process-wide writer.
#include "gdsii/writer.h"

namespace kavrinth {

int GdsOpenLibrary(std::string_view file_name, std::string_view unit_name, double database_unit,
                   std::string_view font_name, double text_height, bool native_order) {
  return DefaultGdsWriter().OpenLibrary(file_name, unit_name, database_unit, font_name, text_height,
                                        native_order);
}

int GdsBeginLibrary(std::string_view file_name, double unit_metres, double database_unit,
                    std::string_view font_name, double text_height, bool native_order) {
  return DefaultGdsWriter().BeginLibrary(file_name, unit_metres, database_unit, font_name,
                                         text_height, native_order);
}

int GdsOpenLibraryEx(std::string_view file_name, std::string_view unit_name, double database_unit,
                     double scale, double min_path_width, const GdsRefLibs& reflibs,
                     const GdsFontTable& fonts, bool native_order) {
  return DefaultGdsWriter().OpenLibraryEx(file_name, unit_name, database_unit, scale,
                                          min_path_width, reflibs, fonts, native_order);
}

int GdsBeginLibraryEx(std::string_view file_name, double unit_metres, double database_unit,
                      double scale, const GdsRefLibs& reflibs, const GdsFontTable& fonts,
                      double text_height, bool native_order) {
  return DefaultGdsWriter().BeginLibraryEx(file_name, unit_metres, database_unit, scale, reflibs,
                                           fonts, text_height, native_order);
}

void GdsSetFlags(int flags) { DefaultGdsWriter().SetFlags(flags); }

int GdsBeginStructure(std::string_view name) { return DefaultGdsWriter().BeginStructure(name); }

int GdsEndStructure() { return DefaultGdsWriter().EndStructure(); }

int GdsBeginStructureEx(std::string_view name, bool drop) {
  return DefaultGdsWriter().BeginStructureEx(name, drop);
}

int GdsEndStructureEx(std::string_view name, bool drop) {
  return DefaultGdsWriter().EndStructureEx(name, drop);
}

int GdsEndLibrary() { return DefaultGdsWriter().EndLibrary(); }

int GdsWriteRecord(int record_type, int data_type, std::span<const uint8_t> data) {
  return DefaultGdsWriter().WriteRecord(record_type, data_type, data);
}

int GdsWriteEncoded(std::span<const uint8_t> records) {
  return DefaultGdsWriter().WriteEncoded(records);
}

int GdsWriteEncoded(std::span<const std::span<const uint8_t>> blocks) {
  return DefaultGdsWriter().WriteEncoded(blocks);
}

int GdsWriteBoundary(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                     int32_t value) {
  return DefaultGdsWriter().WriteBoundary(points, layer, datatype, attribute, value);
}

int GdsWritePath(std::span<const GdsPoint> points, int layer, int datatype, double width,
                 int pathtype, int attribute, int32_t value) {
  return DefaultGdsWriter().WritePath(points, layer, datatype, width, pathtype, attribute, value);
}

int GdsWritePathWithVertexReals(double first, double second, std::span<const double> vertex_reals,
                                std::span<const GdsPoint> points, int layer, int datatype,
                                double width, int pathtype, int attribute, int32_t value) {
  return DefaultGdsWriter().WritePathWithVertexReals(first, second, vertex_reals, points, layer,
                                                     datatype, width, pathtype, attribute, value);
}

int GdsWriteNode(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                 int32_t value) {
  return DefaultGdsWriter().WriteNode(points, layer, nodetype, attribute, value);
}

int GdsWriteSref(std::string_view name, double x, double y, double magnification, double angle,
                 bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteSref(name, x, y, magnification, angle, reflect, attribute, value);
}

int GdsWriteSrefMirrored(std::string_view name, double x, double y, double first_scale,
                         double second_scale, double angle, bool mirror_x, bool mirror_y,
                         int attribute, int32_t value) {
  return DefaultGdsWriter().WriteSrefMirrored(name, x, y, first_scale, second_scale, angle,
                                              mirror_x, mirror_y, attribute, value);
}

int GdsWriteAref(std::string_view name, double x, double y, double column_spacing,
                 double row_spacing, int columns, int rows, double magnification, double angle,
                 bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteAref(name, x, y, column_spacing, row_spacing, columns, rows,
                                      magnification, angle, reflect, attribute, value);
}

int GdsWriteText(std::string_view text, double x, double y, int justification, int font, int layer,
                 int texttype, int32_t width, int pathtype, int transformation,
                 double magnification, double angle, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteText(text, x, y, justification, font, layer, texttype, width,
                                      pathtype, transformation, magnification, angle, attribute,
                                      value);
}

int GdsWriteTextAt(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, double width, double magnification, double angle,
                   GdsPoint position, std::string_view text) {
  return DefaultGdsWriter().WriteTextAt(layer, texttype, font, horizontal, vertical, pathtype,
                                        reflect, second_flag, width, magnification, angle, position,
                                        text);
}

int GdsWriteTextAtWithProperty(int layer, int texttype, int font, int horizontal, int vertical,
                               int pathtype, bool reflect, bool second_flag, double width,
                               double magnification, double angle, GdsPoint position,
                               std::string_view text, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteTextAtWithProperty(
      layer, texttype, font, horizontal, vertical, pathtype, reflect, second_flag, width,
      magnification, angle, position, text, attribute, value);
}

void GdsWriteElflags() { DefaultGdsWriter().WriteElflags(); }

int GdsWriteDirectoryStructure(std::FILE* text_file) {
  return DefaultGdsWriter().WriteDirectoryStructure(text_file);
}

int GdsWriteBoundaryEx(std::span<const GdsPoint> points, int layer, int datatype, int attribute,
                       int32_t value) {
  return DefaultGdsWriter().WriteBoundaryEx(points, layer, datatype, attribute, value);
}

int GdsWriteBoundaryEx(std::span<const GdsIntPoint> points, int layer, int datatype, int attribute,
                       int32_t value) {
  return DefaultGdsWriter().WriteBoundaryEx(points, layer, datatype, attribute, value);
}

int GdsWritePathEx(std::span<const GdsPoint> points, int layer, int datatype, double width,
                   int pathtype, int attribute, int32_t value) {
  return DefaultGdsWriter().WritePathEx(points, layer, datatype, width, pathtype, attribute, value);
}

int GdsWritePathEx(std::span<const GdsIntPoint> points, int layer, int datatype, int32_t width,
                   int pathtype, int attribute, int32_t value) {
  return DefaultGdsWriter().WritePathEx(points, layer, datatype, width, pathtype, attribute, value);
}

int GdsWriteSrefEx(std::string_view name, GdsPoint point, double magnification, double angle,
                   bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteSrefEx(name, point, magnification, angle, reflect, attribute,
                                        value);
}

int GdsWriteSrefEx(std::string_view name, GdsIntPoint point, double magnification, double angle,
                   bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteSrefEx(name, point, magnification, angle, reflect, attribute,
                                        value);
}

int GdsWriteArefEx(std::string_view name, std::span<const GdsPoint> points,
                   std::optional<GdsPoint> spacing, int columns, int rows, double magnification,
                   double angle, bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteArefEx(name, points, spacing, columns, rows, magnification, angle,
                                        reflect, attribute, value);
}

int GdsWriteArefEx(std::string_view name, std::span<const GdsIntPoint> points,
                   std::optional<GdsIntPoint> spacing, int columns, int rows, double magnification,
                   double angle, bool reflect, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteArefEx(name, points, spacing, columns, rows, magnification, angle,
                                        reflect, attribute, value);
}

int GdsWriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, double width, double magnification, double angle,
                   GdsPoint position, std::string_view text, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteTextEx(layer, texttype, font, horizontal, vertical, pathtype,
                                        reflect, second_flag, width, magnification, angle, position,
                                        text, attribute, value);
}

int GdsWriteTextEx(int layer, int texttype, int font, int horizontal, int vertical, int pathtype,
                   bool reflect, bool second_flag, int32_t width, double magnification,
                   double angle, GdsIntPoint position, std::string_view text, int attribute,
                   int32_t value) {
  return DefaultGdsWriter().WriteTextEx(layer, texttype, font, horizontal, vertical, pathtype,
                                        reflect, second_flag, width, magnification, angle, position,
                                        text, attribute, value);
}

int GdsWriteNodeEx(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                   int32_t value) {
  return DefaultGdsWriter().WriteNodeEx(points, layer, nodetype, attribute, value);
}

int GdsWriteNodeEx(std::span<const GdsIntPoint> points, int layer, int nodetype, int attribute,
                   int32_t value) {
  return DefaultGdsWriter().WriteNodeEx(points, layer, nodetype, attribute, value);
}

int GdsWriteBox(std::span<const GdsPoint> points, int layer, int boxtype, int attribute,
                int32_t value) {
  return DefaultGdsWriter().WriteBox(points, layer, boxtype, attribute, value);
}

int GdsWriteBox(std::span<const GdsIntPoint> points, int layer, int boxtype, int attribute,
                int32_t value) {
  return DefaultGdsWriter().WriteBox(points, layer, boxtype, attribute, value);
}

int GdsWriteCircle(GdsPoint centre, double radius, int datatype, int layer, int pathtype,
                   double width) {
  return DefaultGdsWriter().WriteCircle(centre, radius, datatype, layer, pathtype, width);
}

int GdsWriteCircleWithProperty(GdsPoint centre, double radius, int datatype, int layer,
                               int pathtype, double width, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteCircleWithProperty(centre, radius, datatype, layer, pathtype,
                                                    width, attribute, value);
}

int GdsWriteArc(double first_angle, double second_angle, double third_angle, double radius,
                const std::array<GdsPoint, 2>& two_points, GdsPoint one_point, double width,
                int pathtype, int layer) {
  return DefaultGdsWriter().WriteArc(first_angle, second_angle, third_angle, radius, two_points,
                                     one_point, width, pathtype, layer);
}

int GdsWriteArcWithProperty(double first_angle, double second_angle, double third_angle,
                            double radius, const std::array<GdsPoint, 2>& two_points,
                            GdsPoint one_point, double width, int pathtype, int layer,
                            int attribute, int32_t value) {
  return DefaultGdsWriter().WriteArcWithProperty(first_angle, second_angle, third_angle, radius,
                                                 two_points, one_point, width, pathtype, layer,
                                                 attribute, value);
}

int GdsWriteTwoRadiusArc(const std::array<double, 4>& angles, double first_radius,
                         double second_radius, const std::array<GdsPoint, 2>& two_points,
                         GdsPoint one_point, double width, int attribute, int layer, int pathtype) {
  return DefaultGdsWriter().WriteTwoRadiusArc(angles, first_radius, second_radius, two_points,
                                              one_point, width, attribute, layer, pathtype);
}

int GdsWriteNamedProperty(std::string_view name, int value_kind, const GdsPropertyValue& value) {
  return DefaultGdsWriter().WriteNamedProperty(name, value_kind, value);
}

int GdsBeginGroup(int layer, int datatype, int pathtype, double width, GdsPoint point,
                  int attribute, double value) {
  return DefaultGdsWriter().BeginGroup(layer, datatype, pathtype, width, point, attribute, value);
}

int GdsEndGroup() { return DefaultGdsWriter().EndGroup(); }

int GdsWritePointList(std::span<const GdsIntPoint> points) {
  return DefaultGdsWriter().WritePointList(points);
}

int GdsWriteApertureRecord(int code, std::string_view name, int first_word, int second_word,
                           double first_real, double second_real, double third_real, int third_word,
                           double fourth_real) {
  return DefaultGdsWriter().WriteApertureRecord(code, name, first_word, second_word, first_real,
                                                second_real, third_real, third_word, fourth_real);
}

int GdsWriteLayerFileRecord(int layer, std::string_view file_name) {
  return DefaultGdsWriter().WriteLayerFileRecord(layer, file_name);
}

int GdsWriteKind144(int layer, int pathtype, int number, std::string_view text) {
  return DefaultGdsWriter().WriteKind144(layer, pathtype, number, text);
}

int GdsWriteKind160(std::span<const GdsPoint> points, double angle, int layer, int datatype,
                    double width, int pathtype, int attribute, int32_t value) {
  return DefaultGdsWriter().WriteKind160(points, angle, layer, datatype, width, pathtype, attribute,
                                         value);
}

int GdsWriteKind161(std::span<const GdsPoint> points, int layer, int nodetype, int attribute,
                    int32_t value) {
  return DefaultGdsWriter().WriteKind161(points, layer, nodetype, attribute, value);
}

int GdsWriteKind162(int number, int pathtype, std::string_view text) {
  return DefaultGdsWriter().WriteKind162(number, pathtype, text);
}

int GdsWriteKind167(int number, int pathtype, std::string_view text, double first_real,
                    double second_real, double angle) {
  return DefaultGdsWriter().WriteKind167(number, pathtype, text, first_real, second_real, angle);
}

int GdsWriteKind168(int number, std::u16string_view characters) {
  return DefaultGdsWriter().WriteKind168(number, characters);
}

int GdsWriteKind169(int number, std::string_view text) {
  return DefaultGdsWriter().WriteKind169(number, text);
}

}  // namespace kavrinth
