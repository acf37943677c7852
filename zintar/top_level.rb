# Runs after every class and module body: the names games and the host reach first.
$top_level = self
ZOQ_VERSION = "2.7"
TopLevelView = ZOQ::Runtime
