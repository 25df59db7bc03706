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

// A decomposition worked out ahead of its PG call: the call's arguments and what
// the decomposition gave.
typedef struct PgPrepared {
  const int32_t* points;
  int32_t count;
  double fixup;
  PgTrapezoid* table;
  int32_t capacity;
  int32_t filled;
  int32_t table_full;
  int32_t out_of_range;
} PgPrepared;

// Works out the trapezoids PG will return for a polygon, on any thread and without
// touching the run: fills the table as PG would and notes the result in *prepared.
// 1 when it did; 0 for arguments PG refuses (PG then says why).
int32_t PG_PREPARE(const int32_t* points, const int32_t* count, PgTrapezoid* table,
                   const int32_t* capacity, const double* fixup, PgPrepared* prepared);

// Hands the next PG call a prepared decomposition (null: none). A call with the same
// points, count, table, capacity and unit factor keeps the table as it stands, which
// must not have changed since, and counts and logs as if it had filled it; any other
// PG call works as always. Every call but PG_PREPARE drops it.
void PG_USE_PREPARED(const PgPrepared* prepared);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(PgTrapezoid) == 32, "a PgTrapezoid is 32 bytes");
#endif
