// The routing picture tells what the routing does: each diagram, evaluated with the filters as gains
// (in series they multiply, in parallel they average), equals the filters' own routing, in every
// arrangement of one to four filters and both channel paths of the split modes.
#include "../filters/RoutingChannel.h"

#include "editor/RoutingDiagram.h"

#include <gtest/gtest.h>

#include <numeric>

using routingtest::Channel;
using routingtest::gains;

namespace {

double factorOf(const RoutingDiagram::Node& node)
{
    switch (node.kind) {
    case RoutingDiagram::Node::Filter:
        return gains[static_cast<std::size_t>(node.filter - 1)];
    case RoutingDiagram::Node::Series:
        return std::accumulate(node.children.begin(), node.children.end(), 1.0,
                               [](double f, const RoutingDiagram::Node& c) { return f * factorOf(c); });
    default:
        return std::accumulate(node.children.begin(), node.children.end(), 0.0,
                               [](double f, const RoutingDiagram::Node& c) { return f + factorOf(c); }) /
               static_cast<double>(node.children.size());
    }
}

} // namespace

TEST(RoutingDiagram, EveryPictureEvaluatesToWhatTheRoutingPlays)
{
    for (int index = 0; index < 8; ++index)
        for (int count = 1; count <= 4; ++count) {
            SCOPED_TRACE(testing::Message() << "index " << index << ", " << count << " filters");
            Channel channel;
            channel.setAtOnce(index, count, 0b1111);
            const RoutingDiagram diagram(index, (1u << count) - 1u);
            EXPECT_NEAR(factorOf(diagram.root()), channel.settledOutput(), 1e-4);
        }
    // Split modes: each path runs its half of the filters in use (the other
    // half switched off there); with four filters the option picks the
    // arrangement.
    for (int option = 0; option < 4; ++option)
        for (unsigned half : {0b0011u, 0b1100u}) {
            SCOPED_TRACE(testing::Message() << "option " << option << ", filters " << half);
            const int index = RoutingDiagram::splitIndex(option);
            Channel channel;
            channel.setAtOnce(index, 4, static_cast<int>(half));
            EXPECT_NEAR(factorOf(RoutingDiagram(index, half).root()), channel.settledOutput(), 1e-4);
        }
    for (unsigned half : {0b01u, 0b10u}) {
        Channel channel;
        channel.setAtOnce(0, 2, static_cast<int>(half));
        EXPECT_NEAR(factorOf(RoutingDiagram(0, half).root()), channel.settledOutput(), 1e-4);
    }
    EXPECT_EQ(RoutingDiagram(2, 0b0111).text(), "(1 \xE2\x86\x92 2) \xE2\x88\xA5 3");
}
