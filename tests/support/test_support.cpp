// placeholder until the shared test helpers land
namespace vrel::test {}
