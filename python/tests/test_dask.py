"""The readers on a process-based Dask cluster: Readers travel to the
workers as their parameters."""

import pandas as pd
import pytest

distributed = pytest.importorskip("dask.distributed")
dd = pytest.importorskip("dask.dataframe")

import zelbrant  # noqa: E402
import zelbrant.dask  # noqa: E402


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def test_partitions_read_on_worker_processes(client):
    texts = ["20110909T123045+0100", "bad", None, "20200229T000000Z"] * 50
    df = dd.from_pandas(pd.DataFrame({"when": texts, "dur": ["PT36H"] * 200}), npartitions=4)
    when = zelbrant.dask.to_datetime(df["when"], "B8601DZ", errors="coerce")
    got = when.compute()
    want = zelbrant.to_datetime(pd.Series(texts, name="when"), "B8601DZ", errors="coerce")
    pd.testing.assert_series_equal(got.reset_index(drop=True), want)
    assert str(when.dtype) == "datetime64[ns, UTC]"
    # A Reader given goes to the workers by its parameters.
    with zelbrant.Reader("$IS860DU") as r:
        d = zelbrant.dask.durations(df["dur"], r).compute()
    assert (d["hours"] == 36).all() and len(d) == 200
    # The workers are other processes: the reading happened there.
    # A Reader itself travels to a worker process and reads there.
    with zelbrant.Reader("B8601DA") as r:
        f = client.submit(lambda reader: reader.read_ticks(["20110909"], unit="s").tolist(), r)
        assert f.result() == [1315526400]
        del f
    pids = client.run(lambda: __import__("os").getpid())
    assert __import__("os").getpid() not in pids.values()
    with pytest.raises(zelbrant.ReadError, match="bad"):
        zelbrant.dask.to_datetime(df["when"], "B8601DZ").compute()
