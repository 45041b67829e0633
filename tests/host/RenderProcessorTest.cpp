#include "host/cli/RenderProcessor.h"

#include "TestFiles.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "framework/ParameterAssignment.h"

#include <gtest/gtest.h>

#include <vector>

// The renderer's plug-in speaks for the product (the name settings and
// folders are derived from) and copes with hosts that hand it the same
// buffers for input and output, also crossed.
TEST(RenderProcessor, KnowsTheProductAndProcessesInPlace)
{
    TemporaryHome home; // the plug-in's user settings go there
    RenderProcessor processor(2, 96000);
    EXPECT_EQ(ApplicationInfo::shared().getShortName(), "Ostrand");
    EXPECT_EQ(processor.getPlugin().getGraph().getSampleRate(), 96000.0f);
    // The effect with its mix at 0 hands the input on untouched.
    ASSERT_TRUE(applyParameterAssignment(processor.getPlugin(), "Mix=0").ok());
    processor.getPlugin().applyQueuedChangesAtOnce();

    const int n = 2500; // more than two sub-blocks
    std::vector<float> left(n), right(n);
    for (int i = 0; i < n; ++i) {
        left[static_cast<std::size_t>(i)] = static_cast<float>(i);
        right[static_cast<std::size_t>(i)] = -static_cast<float>(i) - 0.5f;
    }
    const std::vector<float> originalLeft = left, originalRight = right;

    float* same[2] = {left.data(), right.data()};
    processor.process(same, same, n);
    EXPECT_EQ(left, originalLeft);
    EXPECT_EQ(right, originalRight);

    // Output 0 into input 1's buffer and back: every input of a sub-block is
    // read before any output is written, so the channels simply swap.
    float* crossed[2] = {right.data(), left.data()};
    processor.process(same, crossed, n);
    EXPECT_EQ(left, originalRight);
    EXPECT_EQ(right, originalLeft);
}
