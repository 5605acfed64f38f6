# The SNMP codec: BER primitives, text-to-integer conversions, TSNMPInfo,
# data-file vectors and the PROTOS c06-snmpv1 material.
veltrum_add_test(snmp_codec_tests
    SOURCES snmp/BerTest.cpp snmp/SnmpInfoTest.cpp snmp/VectorTest.cpp snmp/ProtosTest.cpp
            snmp/MessageOracleTest.cpp
    LIBS Veltrum::Snmp
    TIMEOUT 300)
