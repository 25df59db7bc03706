// The engine job file as the engine reads it: which PG files to convert and the GDSII
// layer of each, listed in the progress dialog and in the log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pg2gds/engine_run.h"

namespace kavrinth {

// The GDSII layers a job can give: the job's value is taken modulo this.
inline constexpr int kEngineLayerCount = 64;

// A job's layer text as a layer: the value modulo 64 when it is 0 or more, else (and
// without a number) 0, which AssignFreeLayerNumbers replaces. Digits beyond any integer
// range are taken exactly.
int LayerFromText(std::string_view text);

// Reads the job copy into run.layers: 0, 16 when the job copy cannot be opened, 15 when
// it lists no usable file. Numbers the free layers, writes the file/layer table to the
// log (unless -S) and logs, as counted warnings, every layer that differs from the one
// the job gave and every such layer that joins the shapes of another file's layer.
int LoadLayerList(EngineRun& run);

// The files the job lists ("General"/"layers" names the sections, each "layer" is
// "<layer>,<path>", read whole, the path exactly as written), in order: a file that cannot
// be read is left out with a counted warning naming it, repeated paths (compared without
// case) are skipped, and in corvaxen files whose unit does not fit (message 21). Each
// file's name goes to the progress list.
std::vector<LayerFileEntry> ReadJobLayerList(EngineRun& run, const std::string& job_path);

// Gives the entries of layer 0 the lowest layers no entry has, from 1 upward; once 1 to
// 62 are taken every further one gets 63.
void AssignFreeLayerNumbers(std::vector<LayerFileEntry>& entries);

// Corvaxen's test of a listed file: 0 accepts it (and may fix the run's unit from the
// file), 21 rejects it after a counted log warning.
int VerifyLayerFileUnits(EngineRun& run, const std::string& path);

void FreeLayerList(EngineRun& run);

// The path a job's file name stands for on this system ('\' turned into '/', the case of
// the last component forgiven).
std::string PgFileSystemPath(std::string_view path);

}  // namespace kavrinth
