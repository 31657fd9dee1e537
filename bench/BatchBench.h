#pragma once

namespace quarvel::bench {

/// When argv asks for the batch child (--batch-child=PHOTO), runs it, sets exitCode and returns
/// true; otherwise returns false.
bool IsBatchChild(int argc, char** argv, int& exitCode);

/// Makes the 6000 x 4000 photograph, runs the batch processing of it in a child process and lets
/// the child print its line.
void RunBatchBenchmark();

}  // namespace quarvel::bench
