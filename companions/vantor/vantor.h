// The PG-writing library's C interface, as the GDSII -> PG engine calls it:
// every argument by pointer except the name lengths, results as 32-bit integers.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One trapezoid handed back by PG: four corners in PG units (thousandths of a
// micron, or of a mil), counter-clockwise from the lower-left corner, laid out
// x0, y0, x1, y1, x2, y2, x3, y3. Corners 0-1 are the bottom side, 2-3 the top.
typedef struct PgTrapezoid {
  int32_t xy[8];
} PgTrapezoid;

// The result of PG_INIT when pg.cfg cannot be read or pg.log cannot be created.
#define PG_INIT_FAILED 20

// Starts a run: remembers the values, reads pg.cfg from the current directory
// and creates pg.log there. 0 on success, PG_INIT_FAILED otherwise.
int32_t PG_INIT(int32_t* zero1, int32_t* zero2, int32_t* o, int32_t* v, int32_t* m, double* scale,
                double* c, double* a, double* feature_size, uint32_t* window);

// Cuts one polygon (x, y pairs in database units, the closing point included in
// count) into trapezoids with horizontal parallel sides, in PG units: a database
// coordinate d becomes d * fixup * 1000. Returns the number of table entries
// filled, never more than capacity; a polygon that needs more is a counted error.
int32_t PG(const int32_t* points, const int32_t* count, const double* one, PgTrapezoid* table,
           const int32_t* capacity, const double* fixup, const char* name, int32_t name_length);

// Counts one zero-width path. 0 when counted, -1 when the call was an error.
int32_t PG_PATH(const int32_t* points, const int32_t* count, const double* one, const double* fixup,
                const char* name, int32_t name_length);

// Ends the run: writes the counts to pg.log, closes it and hands back the
// warning and error counts. 0 on success, -1 when no run was open.
int32_t PG_CLOSE(int32_t* zero, int32_t* warnings, int32_t* errors);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(PgTrapezoid) == 32, "a PgTrapezoid is 32 bytes");
#endif
