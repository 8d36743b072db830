// placeholder until the writer lands
namespace vrel::dbwriter {}
