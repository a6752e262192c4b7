# orvel-cli parse --strict over JSONTestSuite: y_ files must be clean, n_ files must have a problem,
# i_ files (implementation-defined) must merely be handled without a crash.
source "$(dirname "${BASH_SOURCE[0]}")/harness.bash"

suite=$ROOT/../shared/conformance/JSONTestSuite/test_parsing
if [[ ! -d $suite ]]; then
    echo "FAIL: the conformance suite is missing: $suite"
    exit 1
fi

passed=0
failed=0
for f in "$suite"/*.json; do
    name=${f##*/}
    case $name in
        y_*) want="0" ;;
        n_*) want="1" ;;
        i_*) want="0 1" ;;
        *) continue ;;
    esac
    "$CLI" parse --strict "$f" >"$TMP/out" 2>&1
    rc=$?
    if [[ " $want " == *" $rc "* ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name: exit status $rc, expected ${want// / or }"
        sed 's/^/    | /' "$TMP/out" | head -n 8
    fi
done

if ((passed + failed < 300)); then
    echo "FAIL: only $((passed + failed)) suite files found in $suite"
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
((failed == 0))
